#include "host/behavior_events.h"

#include <dispex.h>

#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/records.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "host/js_array.h"

namespace {

constexpr char kPostedEventTag[] = "+ZEQBEHAVIOREVENT";

struct PostedEvent {
  ZEQTypedRecord header;
  char* eventName;
  char* attributeName;
  IUnknown* behavior;              // one reference
  IElementBehaviorSite* site;      // one reference
  ZEQMarshaledVariant* argument;
  DWORD elementCookie;             // the behavior's element in the interface table
  uint32_t flags;
};

void FreePosted(PostedEvent* posted) {
  if (!posted) return;
  HeapFreeZ(posted->eventName);
  HeapFreeZ(posted->attributeName);
  if (posted->behavior) posted->behavior->Release();
  if (posted->site) posted->site->Release();
  ZEQMarshaledVariant::Free(posted->argument);
  if (posted->elementCookie) RevokeGITCookie(posted->elementCookie);
  ZEQRetireRecord(posted);
  HeapFreeZ(posted);
}

BSTR WideBstr(const char* text) {
  wchar_t* wide = AnsiToWideDup(text ? text : "", 0);
  BSTR value = SysAllocString(wide);
  HeapFreeZ(wide);
  return value;
}

// Through the site when it knows the event; else the element's member.
BOOL FireNow(IElementBehaviorSite* site, const char* eventName, const char* attributeName, const VARIANT* argument,
             VARIANT* answer) {
  IElementBehaviorSiteOM* om = nullptr;
  if (FAILED(site->QueryInterface(__uuidof(IElementBehaviorSiteOM), reinterpret_cast<void**>(&om))) || !om)
    return FALSE;
  BOOL fired = FALSE;
  IHTMLEventObj* event = nullptr;
  BSTR name = WideBstr(eventName);
  om->CreateEventObject(&event);
  if (event && attributeName && argument) {
    IHTMLEventObj2* event2 = nullptr;
    if (SUCCEEDED(event->QueryInterface(IID_IHTMLEventObj2, reinterpret_cast<void**>(&event2))) && event2) {
      BSTR attribute = WideBstr(attributeName);
      VARIANT value;
      VariantInit(&value);
      VariantCopyInd(&value, const_cast<VARIANT*>(argument));
      event2->setAttribute(attribute, value, 0);
      VariantClear(&value);
      SysFreeString(attribute);
      event2->Release();
    }
  }
  LONG cookie = 0;
  if (SUCCEEDED(om->GetEventCookie(name, &cookie))) {
    fired = SUCCEEDED(om->FireEvent(cookie, event));
    if (fired && event) {
      VARIANT value;
      VariantInit(&value);
      if (SUCCEEDED(event->get_returnValue(&value)) && V_VT(&value) != VT_EMPTY) {
        VariantClear(answer);
        *answer = value;
      } else {
        VariantClear(&value);
      }
    }
  } else {
    IHTMLElement* element = nullptr;
    IDispatchEx* script = nullptr;
    if (SUCCEEDED(site->GetElement(&element)) && element)
      element->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&script));
    DISPID id = DISPID_UNKNOWN;
    if (script && SUCCEEDED(script->GetDispID(name, fdexNameCaseSensitive, &id))) {
      VARIANT parameter;
      VariantInit(&parameter);
      if (argument) VariantCopyInd(&parameter, const_cast<VARIANT*>(argument));
      DISPPARAMS params{&parameter, nullptr, argument ? 1u : 0u, 0};
      VARIANT value;
      VariantInit(&value);
      fired = script->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &value, nullptr, nullptr) == S_OK;
      if (fired && V_VT(&value) != VT_EMPTY) {
        VariantClear(answer);
        *answer = value;
      } else {
        VariantClear(&value);
      }
      VariantClear(&parameter);
    }
    if (script) script->Release();
    if (element) element->Release();
  }
  SysFreeString(name);
  if (event) event->Release();
  om->Release();
  return fired;
}

BOOL Post(const ZEQBehaviorEventTarget& behavior, const char* eventName, const char* attributeName,
          const VARIANT* argument, uint32_t flags) {
  auto* posted = static_cast<PostedEvent*>(HeapAllocZ(sizeof(PostedEvent)));
  ZEQStampRecord(posted, kPostedEventTag, nullptr);
  try {
    posted->eventName = StrDupExtra(eventName, 0);
    posted->attributeName = attributeName ? StrDupExtra(attributeName, 0) : nullptr;
    posted->argument = argument ? MarshalVariantForThread(argument) : nullptr;
  } catch (...) {
    FreePosted(posted);
    throw;
  }
  posted->behavior = behavior.behavior;
  if (posted->behavior) posted->behavior->AddRef();
  posted->site = behavior.site;
  posted->site->AddRef();
  IHTMLElement* element = nullptr;
  if (SUCCEEDED(behavior.site->GetElement(&element)) && element) {
    posted->elementCookie = ZEQGITRegister(element);
    element->Release();
  }
  posted->flags = flags;
  if (!PostMessageA(behavior.hostWindow, ZEQBehaviorEventMessage(), 0, reinterpret_cast<LPARAM>(posted))) {
    FreePosted(posted);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

UINT ZEQBehaviorEventMessage() {
  static const UINT message = RegisterWindowMessageA("CMSG_FIREBEHAVIOREVENT");
  return message;
}

BOOL ZEQFireBehaviorEvent(const ZEQBehaviorEventTarget& behavior, const char* eventName, const char* attributeName,
                          const VARIANT* argument, ZEQMarshaledVariant** answerOut, uint32_t flags) {
  if (answerOut) *answerOut = nullptr;
  if (!behavior.site || !eventName) return FALSE;
  try {
    if (flags & kZEQBehaviorEventPosted) return Post(behavior, eventName, attributeName, argument, flags);
    VARIANT answer;
    VariantInitUInt(&answer, ZEQACTION_CONTINUE);
    const BOOL fired = FireNow(behavior.site, eventName, attributeName, argument, &answer);
    if (fired && answerOut) *answerOut = MarshalVariantForThread(&answer);
    VariantClear(&answer);
    return fired;
  } catch (...) {
    ZEQLogUnexpected("ZEQFireBehaviorEvent");
    return FALSE;
  }
}

BOOL ZEQFireBehaviorEventEx(const ZEQBehaviorEventTarget& behavior, const char* eventName, const char* attributeName,
                            const VARIANT* argument, VARIANT* answer) {
  ZEQMarshaledVariant* record = nullptr;
  const BOOL fired = ZEQFireBehaviorEvent(behavior, eventName, attributeName, argument, &record, 0);
  if (answer) {
    VariantInit(answer);
    if (record) UnmarshalVariantForThread(answer, record);
  }
  ZEQMarshaledVariant::Free(record);
  return fired;
}

BOOL ZEQFireBehaviorEventArgs(const ZEQBehaviorEventTarget& behavior, const char* eventName,
                              const char* attributeName, JSArray* arguments, VARIANT* answer) {
  VARIANT list;
  VariantInit(&list);
  try {
    if (arguments) arguments->ToSafeArray(&list);
  } catch (...) {
    ZEQLogUnexpected("ZEQFireBehaviorEventArgs");
    return FALSE;
  }
  const BOOL fired = ZEQFireBehaviorEventEx(behavior, eventName, attributeName, &list, answer);
  VariantClear(&list);
  return fired;
}

LRESULT ZEQReceiveBehaviorEvent(LPARAM value) {
  auto* posted = reinterpret_cast<PostedEvent*>(value);
  if (!IsTaggedRecord(posted, sizeof(PostedEvent), kPostedEventTag)) return 0;
  try {
    VARIANT argument, answer;
    VariantInit(&argument);
    VariantInitUInt(&answer, ZEQACTION_CONTINUE);
    if (posted->argument) UnmarshalVariantForThread(&argument, posted->argument);
    FireNow(posted->site, posted->eventName, posted->attributeName, posted->argument ? &argument : nullptr, &answer);
    VariantClear(&argument);
    VariantClear(&answer);
  } catch (...) {
    ZEQLogUnexpected("ZEQReceiveBehaviorEvent");
  }
  FreePosted(posted);
  return 0;
}
