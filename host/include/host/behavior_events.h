// Events that an element behavior fires on its element: through its site
// when the site knows the event, else as a call of the element's script
// member of that name; at once, or later by a message posted to the
// behavior's host window. The event object can carry one attribute.
#pragma once
#include <mshtml.h>
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/variant.h"

struct JSArray;

// What firing needs of a behavior.
struct ZEQBehaviorEventTarget {
  IUnknown* behavior;          // kept alive while a posted event waits
  IElementBehaviorSite* site;  // null: the behavior has no site and fires nothing
  HWND hostWindow;             // receives posted events
};

// Flag: post the event instead of firing it now.
constexpr uint32_t kZEQBehaviorEventPosted = 2;

// The registered message that carries a posted event (lParam: its record).
UINT ZEQBehaviorEventMessage();

// Fires (or posts) the event. The answer is preset to VT_UI4 0x2001; a
// fired event answers its event object's returnValue, a member call its
// result. With TRUE and an answer slot, the answer marshalled for the
// caller's thread (ZEQMarshaledVariant::Free). FALSE without a site, or
// when the event could not be fired.
BOOL ZEQFireBehaviorEvent(const ZEQBehaviorEventTarget& behavior, const char* eventName, const char* attributeName,
                          const VARIANT* argument, ZEQMarshaledVariant** answer, uint32_t flags);
// At once, with the answer unmarshalled into a VARIANT.
BOOL ZEQFireBehaviorEventEx(const ZEQBehaviorEventTarget& behavior, const char* eventName, const char* attributeName,
                            const VARIANT* argument, VARIANT* answer);
// The array becomes one SAFEARRAY argument.
BOOL ZEQFireBehaviorEventArgs(const ZEQBehaviorEventTarget& behavior, const char* eventName,
                              const char* attributeName, JSArray* arguments, VARIANT* answer);

// The host window's side of a posted event: fires it as at once and frees
// the record; nothing for a value that is no posted event. 0.
LRESULT ZEQReceiveBehaviorEvent(LPARAM record);
