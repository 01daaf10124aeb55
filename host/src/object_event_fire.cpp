// Native code raising an "On..." event on a script object: script assigned
// a function to the property of that name, and the call goes to the
// object's owner thread.
#include <cstdio>

#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/script_calls.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "host/object_events.h"
#include "member_table_internal.h"

using namespace zeqmembers;

namespace {

constexpr uint32_t kNoHandler = 2;

// The stored function's Global Interface Table cookie, or 0 when script
// stored no object under that name on this object.
DWORD HandlerCookie(CZEQDispatchEx* object, const wchar_t* eventName) {
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(ZEQLookupMember(object, eventName, &id))) return 0;
  ZEQList* list = object->Members(false);
  if (!list) return 0;
  std::wstring name;
  {
    ZEQLockGuard guard(list->lock);
    ZEQListItem* item = ExpandoEntry(list, id);
    if (!item || !item->key) return 0;
    name = reinterpret_cast<const wchar_t*>(item->key);
  }
  const std::wstring qualified = QualifiedName(object->className, list, name.c_str());
  VARIANT value;
  VariantInit(&value);
  DWORD cookie = static_cast<DWORD>(-1);
  const BOOL found = NamedVariantList::Get(list, qualified.c_str(), &value, &cookie);
  VariantClear(&value);
  if (!found || cookie == static_cast<DWORD>(-1)) return 0;
  return cookie;
}

}  // namespace

uint32_t ZEQFireObjectEvent(const wchar_t* eventName, CZEQDispatchEx* object, VARIANT* argument, VARIANT* result,
                            uint32_t flags) {
  if (!eventName || !*eventName || !object) return kNoHandler;
  try {
    const DWORD cookie = HandlerCookie(object, eventName);
    if (!cookie) return kNoHandler;
    wchar_t name[16];
    swprintf(name, sizeof name / sizeof name[0], L"%u", static_cast<unsigned>(cookie));
    return ZEQDeliverAPC(object->owner, name, nullptr, nullptr, argument, result,
                         flags | kZEQApcNoContainerArgument | kZEQApcKeepInterfaceCookie, nullptr, 0, nullptr);
  } catch (...) {
    ZEQLogUnexpected("ZEQFireObjectEvent");
    return kNoHandler;
  }
}

uint32_t ZEQFireObjectEventArgs(uint32_t flags, CZEQDispatchEx* object, const wchar_t* eventName, JSArray* arguments,
                                VARIANT* result) {
  VARIANT list;
  VariantInit(&list);
  try {
    if (arguments) arguments->ToSafeArray(&list);
  } catch (...) {
    ZEQLogUnexpected("ZEQFireObjectEventArgs");
    VariantClear(&list);
    return kNoHandler;
  }
  const uint32_t code = ZEQFireObjectEvent(eventName, object, &list, result, flags | kZEQApcArgumentList);
  VariantClear(&list);
  return code;
}
