#include "sip/agent/message_text.h"

#include <cstdio>
#include <cstring>

#include "sip/record.h"

int SIPCountContactHeaders(const char* message) {
  if (!message) return 0;
  static constexpr char kContact[] = "Contact:";
  int count = 0;
  for (const char* at = std::strstr(message, kContact); at; at = std::strstr(at + sizeof kContact - 1, kContact))
    ++count;
  return count;
}

bool SIPInsertHeaderLine(char* message, size_t capacity, const char* header, const char* value) {
  if (!message || !value || !*value) return false;
  if (!header) header = "";
  const char* last = nullptr;
  for (const char* at = std::strstr(message, "\r\n\r\n"); at; at = std::strstr(at + 1, "\r\n\r\n")) last = at;
  if (!last) return false;
  size_t length = std::strlen(message);
  size_t added = 2 + std::strlen(header) + std::strlen(value);
  if (length + added + 1 > capacity) return false;
  size_t offset = static_cast<size_t>(last - message);
  std::memmove(message + offset + added, message + offset, length - offset + 1);
  char* out = message + offset;
  std::memcpy(out, "\r\n", 2);
  std::memcpy(out + 2, header, std::strlen(header));
  std::memcpy(out + 2 + std::strlen(header), value, std::strlen(value));
  return true;
}

namespace {

const char* MethodWord(int method, bool byTransfer) {
  switch (method) {
    case kSIPMethodProbeRegister:
    case kSIPMethodRegister: return "Register";
    case kSIPMethodInvite: return byTransfer ? "Transfer" : "Invite";
    case kSIPMethodOptions: return "Options";
    case kSIPMethodInfo: return "Info";
    case kSIPMethodSubscribe: return "Subscribe";
    case kSIPMethodRefer: return "Transfer";
    case kSIPMethodNotify: return "Notify";
    case kSIPMethodMessage: return "Message";
    default: return nullptr;
  }
}

const char* EndWord(uint32_t endReason) {
  switch (endReason) {
    case kSIPEndRefused: return "Refused";
    case kSIPEndCancelled: return "Cancelled";
    case kSIPEndFinalized: return "Finalized";
    case kSIPEndRedirected: return "Redirected";
    case kSIPEndExpired: return "Expired";
    default: return nullptr;
  }
}

}  // namespace

bool SIPEndEventName(int method, uint32_t endReason, bool byTransfer, char* out, size_t size) {
  if (!out || !size) return false;
  out[0] = 0;
  const char* methodWord = MethodWord(method, byTransfer);
  const char* endWord = EndWord(endReason);
  if (!methodWord || !endWord) return false;
  int written = std::snprintf(out, size, "ZEQOnSIP%s%s", methodWord, endWord);
  if (written < 0 || static_cast<size_t>(written) >= size) {
    out[0] = 0;
    return false;
  }
  return true;
}

const char* SIPStatusText(int32_t state, uint32_t endReason) {
  if (state == 1 || state == 2) return "proceeding";
  switch (endReason) {
    case kSIPEndCancelled: return "cancelled";
    case kSIPEndRefused: return "refused";
    case kSIPEndFinalized: return "finalized";
    case kSIPEndRedirected: return "redirected";
    case kSIPEndExpired: return "expired";
    case kSIPEndDestroyed: return "destroyed";
    default: break;
  }
  if (state >= 3 && state <= 6) return "completed";
  return "idle";
}

void SIPSettingText(const char* value, char* out, size_t size, bool trim) {
  if (!out || !size) return;
  out[0] = 0;
  if (!value) return;
  size_t length = strnlen(value, size - 1);
  std::memcpy(out, value, length);
  out[length] = 0;
  if (!trim) return;
  size_t begin = 0;
  while (begin < length && (out[begin] == ' ' || out[begin] == '\t')) ++begin;
  size_t end = length;
  while (end > begin && (out[end - 1] == ' ' || out[end - 1] == '\t')) --end;
  if (end - begin >= 2 && (out[begin] == '"' || out[begin] == '\'') && out[end - 1] == out[begin]) {
    ++begin;
    --end;
  }
  std::memmove(out, out + begin, end - begin);
  out[end - begin] = 0;
}
