// Command messages: the record, its parameters and its JSON text.
#include "host/ipc_message.h"

#include <wincrypt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <json/json.h>

#include "foundation/base64.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/js_array.h"

namespace {

std::wstring Widen(const char* text) {
  if (!text || !*text) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], length, nullptr, nullptr);
  text.resize(static_cast<size_t>(length - 1));
  return text;
}

std::string EncodeBase64(const std::string& bytes) {
  if (bytes.empty()) return std::string();
  std::string out(Base64::EncodedSize(bytes.size()) + 1, '\0');
  Base64::State state{&out[0], 0};
  if (!Base64::Encode(&state, bytes.data(), bytes.size(), 0)) return std::string();
  out.resize(state.written);
  return out;
}

std::string DecodeBase64(const std::string& text) {
  if (text.empty()) return std::string();
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size,
                            nullptr, nullptr))
    return std::string();
  std::string bytes(size, '\0');
  if (size && !CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                                    reinterpret_cast<BYTE*>(&bytes[0]), &size, nullptr, nullptr))
    return std::string();
  bytes.resize(size);
  return bytes;
}

std::string Quoted(const std::string& text) { return Json::valueToQuotedString(text.c_str()); }

const IPCParam* ParamAt(const IPCMessage& message, size_t i) {
  return i < message.params.size() ? &message.params[i] : nullptr;
}

void Add(IPCMessage& message, const wchar_t* type, std::wstring value) {
  message.params.push_back(IPCParam{type, std::move(value)});
}

char KindLetter(uint32_t kind) {
  static const char letters[] = "cgser";
  for (int bit = 0; bit < 5; ++bit) {
    if (kind & (1u << bit)) return letters[bit];
  }
  return 'c';
}

std::string KindText(uint32_t kind) {
  std::string text(1, KindLetter(kind));
  if (kind & kIpcAsync) text += " a";
  if (kind & kIpcUnhandled) text += " u";
  return text;
}

std::string Hex64(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string ParamJson(const IPCParam& param) {
  const std::string value = Narrow(param.value);
  if (param.type == L"s") return Quoted(value);
  // Numbers and booleans go out bare only when they are what they claim,
  // so a value can never add members of its own to the text.
  if (param.type == L"i" || param.type == L"d" || param.type == L"b") {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    const char* end = value.data() + value.size();
    if (!value.empty() && reader->parse(value.data(), end, &parsed, nullptr) &&
        (param.type == L"b" ? parsed.isBool() : parsed.isNumeric()))
      return value;
    return param.type == L"b" ? "false" : "0";
  }
  // A type of the peer's own: its value travels as a JSON string, which is
  // also what the reader expects of member "v".
  return "{\"t\":" + Quoted(Narrow(param.type)) + ",\"v\":" + Quoted(value) + "}";
}

bool HasLetter(const std::string& text, char letter) { return text.find(letter) != std::string::npos; }

}  // namespace

void IPCMessage::Reset() {
  kind = 0;
  sender.clear();
  callbackName.clear();
  callbackValue = 0;
  command.clear();
  params.clear();
}

IPCMessage IPCMessageConstruct(uint32_t kind, const char* command) {
  IPCMessage message;
  message.kind = kind;
  message.command = command ? command : "";
  return message;
}

void IPCMessageAddBool(IPCMessage& message, bool value) { Add(message, L"b", value ? L"true" : L"false"); }

void IPCMessageAddDouble(IPCMessage& message, double value) {
  wchar_t buffer[400];
  swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%f", value);
  Add(message, L"d", buffer);
}

void IPCMessageAddInt64(IPCMessage& message, int64_t value) {
  Add(message, L"i", std::to_wstring(static_cast<long long>(value)));
}

void IPCMessageAddText(IPCMessage& message, const char* base64) { Add(message, L"s", Widen(base64)); }

void IPCMessageAddWideText(IPCMessage& message, const wchar_t* base64) {
  Add(message, L"s", base64 ? base64 : L"");
}

void IPCMessageAddString(IPCMessage& message, const char* text) {
  Add(message, L"s", Widen(EncodeBase64(text ? text : "").c_str()));
}

void IPCMessageAddTyped(IPCMessage& message, const wchar_t* type, const wchar_t* value) {
  Add(message, type ? type : L"", value ? value : L"");
}

int IPCMessageParamKind(const IPCMessage& message, size_t i) {
  const IPCParam* param = ParamAt(message, i);
  if (!param) return kIpcParamNone;
  if (param->type == L"s") return kIpcParamString;
  if (param->type == L"i") return kIpcParamInt;
  if (param->type == L"b") return kIpcParamBool;
  if (param->type == L"d") return kIpcParamDouble;
  return kIpcParamOther;
}

std::wstring IPCMessageParamText(const IPCMessage& message, size_t i) {
  const IPCParam* param = ParamAt(message, i);
  return param ? param->value : std::wstring();
}

std::string IPCMessageParamNarrow(const IPCMessage& message, size_t i) {
  return Narrow(IPCMessageParamText(message, i));
}

std::string IPCMessageParamString(const IPCMessage& message, size_t i) {
  return DecodeBase64(IPCMessageParamNarrow(message, i));
}

int64_t IPCMessageParamInt64(const IPCMessage& message, size_t i) {
  return _wcstoi64(IPCMessageParamText(message, i).c_str(), nullptr, 10);
}

double IPCMessageParamDouble(const IPCMessage& message, size_t i) {
  return wcstod(IPCMessageParamText(message, i).c_str(), nullptr);
}

bool IPCMessageParamBool(const IPCMessage& message, size_t i) { return IPCMessageParamText(message, i) == L"true"; }

void IPCMessageToScriptArray(const IPCMessage& message, JSArray* array) {
  if (!array) return;
  for (size_t i = 0; i < message.params.size(); ++i) {
    switch (IPCMessageParamKind(message, i)) {
      case kIpcParamString:
        array->AppendStringA(IPCMessageParamString(message, i).c_str());
        break;
      case kIpcParamInt: {
        // Script numbers are doubles: a value beyond 32 bits goes as one.
        const int64_t value = IPCMessageParamInt64(message, i);
        if (value >= INT32_MIN && value <= INT32_MAX) {
          array->AppendInt(static_cast<int32_t>(value));
        } else {
          array->AppendDouble(static_cast<double>(value));
        }
        break;
      }
      case kIpcParamDouble:
        array->AppendDouble(IPCMessageParamDouble(message, i));
        break;
      case kIpcParamBool:
        array->AppendBool(IPCMessageParamBool(message, i));
        break;
      default:
        array->AppendNull();
        break;
    }
  }
}

std::string IPCMessageToText(const IPCMessage& message) {
  const bool reply = KindLetter(message.kind) == 'r';
  std::string text = "{\"t\":" + Quoted(KindText(message.kind));
  if (!reply) text += ",\"c\":" + Quoted(message.command);
  if (!message.callbackName.empty()) {
    const std::string callback = message.callbackName + ":" + Hex64(message.callbackValue);
    text += ",\"cb\":" + Quoted(reply ? callback : "%id%:" + callback);
  }
  text += ",\"p\":[";
  for (size_t i = 0; i < message.params.size(); ++i) {
    if (i) text += ",";
    text += ParamJson(message.params[i]);
  }
  text += "]}";
  return text;
}

bool IPCMessageFromText(const char* text, IPCMessage* message) {
  if (!message) return false;
  message->Reset();
  if (!text) return false;
  Json::CharReaderBuilder builder;
  builder["allowSingleQuotes"] = true;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  if (!reader->parse(text, text + std::strlen(text), &root, nullptr) || !root.isObject()) return false;

  const Json::Value& type = root["t"];
  if (type.isString()) {
    const std::string letters = type.asString();
    if (HasLetter(letters, 'r')) {
      message->kind = kIpcReply;
    } else {
      static const struct {
        char letter;
        uint32_t kind;
      } kinds[] = {{'c', kIpcCall}, {'g', kIpcGet}, {'s', kIpcSet}, {'e', kIpcEvent}};
      for (const auto& kind : kinds) {
        if (HasLetter(letters, kind.letter)) {
          message->kind = kind.kind;
          break;
        }
      }
      if (root["c"].isString()) message->command = root["c"].asString();
    }
    if (HasLetter(letters, 'a')) message->kind |= kIpcAsync;
    if (HasLetter(letters, 'u')) message->kind |= kIpcUnhandled;
  }

  const Json::Value& callback = root["cb"];
  if (callback.isString()) {
    std::string name = callback.asString();
    if ((message->kind & kIpcKindMask) != kIpcReply) {
      const size_t colon = name.find(':');
      if (colon != std::string::npos) {
        message->sender = name.substr(0, colon);
        name.erase(0, colon + 1);
      }
    }
    const size_t colon = name.find(':');
    if (colon != std::string::npos) {
      message->callbackValue = _strtoui64(name.c_str() + colon + 1, nullptr, 16);
      name.erase(colon);
    }
    message->callbackName = name;
  }

  const Json::Value& params = root["p"];
  if (params.isArray()) {
    for (const Json::Value& element : params) {
      if (element.isObject() && element["t"].isString() && element["v"].isString()) {
        Add(*message, Widen(element["t"].asCString()).c_str(), Widen(element["v"].asCString()));
      } else if (element.isString()) {
        Add(*message, L"s", Widen(element.asCString()));
      } else if (element.isBool()) {
        Add(*message, L"b", element.asBool() ? L"true" : L"false");
      } else if (element.isInt64()) {
        Add(*message, L"i", std::to_wstring(static_cast<long long>(element.asInt64())));
      } else if (element.type() == Json::realValue || element.isUInt64()) {
        IPCMessageAddDouble(*message, element.asDouble());
      }
    }
  }
  return true;
}

void IPCMessageSetSender(const char* pipeName, std::string* text) {
  if (!text) return;
  // Only the placeholder at the start of the callback member: a command or
  // value holding "%id%" stays as it is (their quotes are escaped, so this
  // pattern cannot occur inside them).
  static const char kPattern[] = ",\"cb\":\"%id%";
  const size_t at = text->find(kPattern);
  if (at == std::string::npos) return;
  std::string name = Quoted(pipeName ? pipeName : "");
  name = name.substr(1, name.size() - 2);
  text->replace(at + std::strlen(kPattern) - 4, 4, name);
}
