// Listener lists of native script objects and the "FireEvent" delivery.
#include "host/object_events.h"

#include <dispex.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/pointer_token.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/containers.h"
#include "host/dispatch_ex.h"

namespace {

constexpr char kNoEventsProperty[] = "KESTOX";
constexpr char kBehaviorProperty[] = "CZEQBASEBEHAVIOR::ZEQInitialize";

// A listener's function, shared by its list entry and by every firing that
// selected it, so that removing the entry during a firing frees nothing
// that is still to be called.
struct ListenerRecord {
  ZEQMarshaledVariant* function;
  HWND hostWindow;
  volatile LONG references;
  volatile LONG removed;
};

void ListenerRelease(ListenerRecord* record) {
  if (!record || InterlockedDecrement(&record->references) > 0) return;
  ZEQMarshaledVariant::Free(record->function);
  HeapFreeZ(record);
}

int LLItemFreeListener(ZEQListItem* item, uintptr_t) {
  auto* record = reinterpret_cast<ListenerRecord*>(item->value1);
  item->value1 = 0;
  if (record) {
    InterlockedExchange(&record->removed, 1);
    ZEQReleasePointerToken(record);
    ListenerRelease(record);
  }
  return 1;
}

ZEQList* ListenerList(CZEQDispatchEx* object, bool create) {
  ZEQPropertyStore* store = object->store.Get();
  return store ? store->Listeners(create) : nullptr;
}

// The event name of a key: the text before the ":%08x.%d" that the key ends
// with (its last colon), so an event name with a colon of its own names
// only that event.
bool KeyNames(const ZEQListItem* item, const char* eventName) {
  const char* key = item->KeyText();
  if (!key) return false;
  const char* colon = std::strrchr(key, ':');
  const size_t length = colon ? static_cast<size_t>(colon - key) : std::strlen(key);
  return std::strlen(eventName) == length && std::strncmp(key, eventName, length) == 0;
}

// The member of the event's name on the object (case-sensitive), when it
// has one.
bool HasMember(IDispatch* object, const wchar_t* name) {
  IDispatchEx* ex = nullptr;
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr;
  if (SUCCEEDED(object->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&ex))) && ex) {
    BSTR wanted = SysAllocString(name);
    hr = ex->GetDispID(wanted, fdexNameCaseSensitive, &id);
    SysFreeString(wanted);
    ex->Release();
  } else {
    auto* names = const_cast<LPOLESTR>(name);
    hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
  }
  return SUCCEEDED(hr) && id != DISPID_UNKNOWN;
}

// Delivers one listener's call; the delivery's result code, or 2 when the
// listener is skipped.
uint32_t CallListener(IDispatch* function, HWND hostWindow, const wchar_t* eventName, DISPPARAMS* params,
                      bool async, VARIANT* answer) {
  VARIANT value;
  VariantInitDispatch(&value, function);
  const int kind = ZEQClassifyScriptObject(&value);
  IDispatch* target = function;
  target->AddRef();
  VariantClear(&value);
  if (kind == 1) {
    target->Release();
    return ZEQERROR_GENERALFAILURE;  // page elements take element events
  }
  if (kind == 2) {
    CZEQDispatchEx* native = ZEQGetNativeDispatchEx(target);
    IDispatchEx* base = native ? native->Base() : nullptr;
    if (native) native->Release();
    target->Release();
    if (!base) return ZEQERROR_GENERALFAILURE;  // other native objects take no calls
    target = base;
  }
  uint32_t code = ZEQERROR_GENERALFAILURE;
  const DWORD cookie = ZEQGITRegister(target);
  if (cookie) {
    const size_t nameSize = std::wcslen(eventName) + 16;
    std::vector<wchar_t> interfaceName(nameSize);
    if (HasMember(target, eventName))
      std::swprintf(interfaceName.data(), nameSize, L"%u:%ls", static_cast<unsigned>(cookie), eventName);
    else
      std::swprintf(interfaceName.data(), nameSize, L"%u", static_cast<unsigned>(cookie));
    VARIANT arguments;
    const UINT count = params->cArgs - 1;
    DispParamsToSafeArray(count, params->rgvarg, &arguments);
    // The call item owns the cookie from here on.
    code = ZEQDeliverAPC(hostWindow, interfaceName.data(), nullptr, nullptr, &arguments, async ? nullptr : answer,
                         kZEQApcArgumentList | (async ? kZEQApcCoalesce : 0), nullptr, 0, nullptr);
    VariantClear(&arguments);
  }
  target->Release();
  return code;
}

}  // namespace

int ZEQRegisterEventMembers(CZEQDispatchEx* object) {
  ZEQRegisterMember(object, kZEQDispidRegisterEvent, kZEQMemberMethod, L"RegisterEvent");
  ZEQRegisterMember(object, kZEQDispidAddEventListener, kZEQMemberMethod, L"AddEventListener");
  ZEQRegisterMember(object, kZEQDispidRemoveEventListener, kZEQMemberMethod, L"RemoveEventListener");
  ZEQRegisterMember(object, kZEQDispidFireEvent, kZEQMemberMethod, L"FireEvent");
  return 1;
}

uint32_t ZEQAddEventListener(CZEQDispatchEx* object, uint32_t containerId, HWND hostWindow, const wchar_t* eventName,
                             const VARIANT* function) {
  if (!object || !function || V_VT(function) != VT_DISPATCH || !V_DISPATCH(function)) return 0;
  char* name = WideToAnsiDup(eventName ? eventName : L"", 0);
  const size_t keySize = std::strlen(name) + 32;
  std::vector<char> key(keySize);
  const auto functionWord = static_cast<unsigned>(reinterpret_cast<uintptr_t>(V_DISPATCH(function)));
  std::snprintf(key.data(), keySize, "%s:%08x.%d", name, functionWord, static_cast<int>(containerId));
  HeapFreeZ(name);
  ZEQList* list = ListenerList(object, true);
  if (!list) return 0;
  auto* record = static_cast<ListenerRecord*>(HeapAllocZ(sizeof(ListenerRecord)));
  try {
    record->function = MarshalVariantForThread(function);
  } catch (...) {
    HeapFreeZ(record);
    throw;
  }
  record->hostWindow = hostWindow;
  record->references = 1;
  ZEQLockGuard guard(list->lock);
  ZEQListItem* item = nullptr;
  try {
    item = list->InsertNamed(key.data(), list->count, reinterpret_cast<uintptr_t>(record),
                             reinterpret_cast<uintptr_t>(hostWindow), 0);
  } catch (...) {
    ListenerRelease(record);
    throw;
  }
  if (!item) {
    ListenerRelease(record);
    return 0;
  }
  item->freeCallback = LLItemFreeListener;
  return ZEQPointerToToken(record);
}

uint32_t ZEQRemoveEventListener(CZEQDispatchEx* object, uint32_t listenerId) {
  ZEQList* list = object ? ListenerList(object, false) : nullptr;
  void* record = listenerId ? ZEQTokenToPointer(listenerId) : nullptr;
  if (!list || !record) return ZEQERROR_NOTFOUND;
  ZEQLockGuard guard(list->lock);
  for (int i = 0; i < list->count; ++i) {
    ZEQListItem* item = list->GetItemAt(i);
    if (item && reinterpret_cast<void*>(item->value1) == record) {
      list->RemoveAt(i);
      return ZEQERROR_NOERROR;
    }
  }
  return ZEQERROR_NOTFOUND;
}

uint32_t ZEQFireObjectEventListeners(CZEQDispatchEx* object, DISPPARAMS* params, VARIANT* result) {
  if (!object || !params || params->cArgs < 1) return ZEQERROR_GENERALFAILURE;
  char* eventName = VariantToStrDup(&params->rgvarg[params->cArgs - 1], 0);
  if (!eventName) eventName = StrDupExtra("", 0);
  const bool async = ParseSyncPrefix(eventName) == 2;
  struct Selected {
    ListenerRecord* record;
  };
  std::vector<Selected> selected;
  uint32_t code = ZEQERROR_GENERALFAILURE;
  try {
    HWND owner = object->owner;
    DWORD ownerProcess = 0;
    if (owner) GetWindowThreadProcessId(owner, &ownerProcess);
    const bool noEvents = owner && ownerProcess == GetCurrentProcessId() && GetPropA(owner, kNoEventsProperty);
    if (noEvents || !owner || !GetPropA(owner, kBehaviorProperty)) {
      HeapFreeZ(eventName);
      return ZEQERROR_GENERALFAILURE;
    }
    ZEQList* list = ListenerList(object, false);
    {
      ZEQLockGuard guard(list ? list->lock : nullptr);
      if (!list || list->count == 0) {
        HeapFreeZ(eventName);
        return ZEQERROR_NOTFOUND;
      }
      for (int i = 0; i < list->count; ++i) {
        ZEQListItem* item = list->GetItemAt(i);
        if (!item || !KeyNames(item, eventName)) continue;
        auto* record = reinterpret_cast<ListenerRecord*>(item->value1);
        if (!record) continue;
        InterlockedIncrement(&record->references);
        selected.push_back({record});
      }
    }
    if (!selected.empty()) {
      wchar_t* wideName = AnsiToWideDup(eventName, 0);
      SAFEARRAY* answers = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(selected.size()));
      VARIANT* slots = nullptr;
      if (answers) SafeArrayAccessData(answers, reinterpret_cast<void**>(&slots));
      for (size_t i = 0; i < selected.size(); ++i) {
        ListenerRecord* record = selected[i].record;
        if (record->removed) continue;  // removed while earlier listeners ran
        VARIANT function;
        VariantInit(&function);
        if (UnmarshalVariantForThread(&function, record->function) && V_VT(&function) == VT_DISPATCH &&
            V_DISPATCH(&function))
          code = CallListener(V_DISPATCH(&function), record->hostWindow, wideName, params, async,
                              slots ? &slots[i] : nullptr);
        VariantClear(&function);
      }
      if (slots) SafeArrayUnaccessData(answers);
      HeapFreeZ(wideName);
      if (result && answers) {
        VariantClear(result);
        V_VT(result) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(result) = answers;
      } else if (answers) {
        SafeArrayDestroy(answers);
      }
    }
  } catch (...) {
    for (auto& s : selected) ListenerRelease(s.record);
    HeapFreeZ(eventName);
    throw;
  }
  for (auto& s : selected) ListenerRelease(s.record);
  HeapFreeZ(eventName);
  return code;
}

int ParseSyncPrefix(char* text) {
  if (!text || !text[0]) return 0;
  int mode = 0;
  size_t length = 0;
  if (_strnicmp(text, "async:", 6) == 0) {
    mode = 2;
    length = 6;
  } else if (_strnicmp(text, "sync:", 5) == 0) {
    mode = 1;
    length = 5;
  }
  if (length) std::memmove(text, text + length, std::strlen(text + length) + 1);
  return mode;
}

int DispParamsToSafeArray(UINT count, const VARIANT* arguments, VARIANT* out) {
  if (!out) return 0;
  VariantInit(out);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
  if (!array) throw ZEQOutOfMemory();
  VARIANT* slots = nullptr;
  if (count && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)))) {
    // DISPPARAMS hold the last argument first; the array is in script order.
    for (UINT i = 0; i < count; ++i) VariantCopyInd(&slots[i], const_cast<VARIANT*>(&arguments[count - 1 - i]));
    SafeArrayUnaccessData(array);
  }
  V_VT(out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(out) = array;
  return 1;
}

int ZEQClassifyScriptObject(const VARIANT* value) {
  IDispatch* object = VariantGetDispatch(value);
  if (!object) return 0;
  int kind = 0;
  IUnknown* probe = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&probe))) && probe) {
    kind = 1;
  } else if (SUCCEEDED(object->QueryInterface(ZEQRunIdentifier(), reinterpret_cast<void**>(&probe))) && probe) {
    kind = 2;
  }
  if (probe) probe->Release();
  object->Release();
  return kind;
}
