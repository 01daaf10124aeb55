// The information members of "ZEQSIP" that describe a transaction to
// script as objects (its parties and hold state) and its extra headers:
// the lists that the builder adds to requests and responses, and header
// values read back from the last sent or received message.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/lock.h"
#include "host/return_data.h"
#include "script_object_internal.h"
#include "sip/agent/message_text.h"
#include "sip/parser.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

void Collect(void* context, const SIPHeaderItem* item) {
  static_cast<Pairs*>(context)->emplace_back(item->name ? item->name : "", item->value ? item->value : "");
}

}  // namespace

HRESULT sipagent::PartyToVariant(HWND owner, const SIPNameAddr& party, VARIANT* result) {
  CZEQDispatchEx* object = ZEQReturn::Create(owner, 1, 1, 0, 4);
  if (!object) return E_OUTOFMEMORY;
  char uri[600];
  SIPTextOut out(uri, sizeof uri);
  // A party without an address has no URI (the writer would give ":").
  if (SIPURIIsPresent(party.uri)) SIPFormatURI(&party.uri, &out, kSIPURIHostOnly);
  ZEQReturnData::SetStringA(object, L"DisplayName", party.uri.displayName);
  ZEQReturnData::SetStringA(object, L"URI", out.overflow ? "" : uri);
  ZEQReturnData::SetStringA(object, L"Tag", party.tag);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = static_cast<IDispatchEx*>(object);
  return S_OK;
}

HRESULT sipagent::HoldStateToVariant(HWND owner, const SIPRecord& record, VARIANT* result) {
  // A hold anywhere above the record along its chain holds it too; its own
  // flags do not count for that.
  bool global = false;
  for (const SIPRecord* above = record.based; above && !global; above = above->based)
    global = above->localHold || above->remoteHold;
  CZEQDispatchEx* object = ZEQReturn::Create(owner, 1, 1, 0, 4);
  if (!object) return E_OUTOFMEMORY;
  ZEQReturnData::SetBool(object, L"LocalHold", record.localHold != 0);
  ZEQReturnData::SetBool(object, L"RemoteHold", record.remoteHold != 0);
  ZEQReturnData::SetBool(object, L"GlobalHold", global);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = static_cast<IDispatchEx*>(object);
  return S_OK;
}

int sipagent::SetExtraHeader(SIPRecord* record, const char* kind, const char* name, const char* value) {
  if (!name || !*name) {
    SIPHeaderListClear(&record->responseHeaders);
    return 1;
  }
  char trimmed[16];
  SIPSettingText(kind ? kind : "", trimmed, sizeof trimmed, true);
  SIPHeaderList* list = _stricmp(trimmed, "out") == 0 ? &record->requestHeaders : &record->responseHeaders;
  // The list keeps insertion order and offers no removal: it is rebuilt
  // without the name under its own (recursive) lock, so no build sees it
  // half made.
  ZEQLockScope scope(*list->lock);
  Pairs items;
  SIPHeaderListForEach(list, Collect, &items);
  bool found = false;
  for (auto it = items.begin(); it != items.end();) {
    if (_stricmp(it->first.c_str(), name) == 0) {
      found = true;
      it = items.erase(it);
    } else {
      ++it;
    }
  }
  const bool remove = !value || !*value;
  if (remove && !found) return 0;
  if (!remove) items.emplace_back(name, value);
  SIPHeaderListClear(list);
  for (const auto& item : items) SIPHeaderListAdd(list, item.first.c_str(), item.second.c_str());
  return 1;
}

std::string sipagent::MessageHeaderValue(const SIPRecord& record, const char* kind, const char* name) {
  char trimmedKind[16];
  SIPSettingText(kind ? kind : "", trimmedKind, sizeof trimmedKind, true);
  char trimmedName[256];
  SIPSettingText(name ? name : "", trimmedName, sizeof trimmedName, true);
  if (!trimmedName[0]) return std::string();
  const SIPCountedText* message = &record.received;
  if (_stricmp(trimmedKind, "out") == 0) message = record.sent.text ? &record.sent : &record.lastMessage;
  if (!message->text || !message->length) return std::string();
  const char* value = nullptr;
  size_t length = 0;
  if (!SIPScanMessageLine(message->text, message->length, trimmedName, &value, &length) || !value)
    return std::string();
  return std::string(value, length);
}
