// Events of native script objects. Script registers a function for a named
// event on an object ("AddEventListener") and native code or script fires
// it ("FireEvent"): every matching listener runs on its own page's thread
// through the cross-thread calls, and the answers come back as an array.
// Page elements get custom events with an event object that can carry one
// attribute and bring back an answer in "ZEQReturnValue".
#pragma once
#include <mshtml.h>
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

class CZEQDispatchEx;

// Most arguments "FireEvent" takes: the event name and 1,023 more.
constexpr UINT kZEQFireEventMaxArguments = 1024;

// Registers "RegisterEvent", "AddEventListener", "RemoveEventListener" and
// "FireEvent" (0x800201 to 0x800204) as methods; 1.
int ZEQRegisterEventMembers(CZEQDispatchEx* object);

// Appends a listener entry "%s:%08x.%d" (event, function, container id) whose
// function is kept as a cross-thread record and called on hostWindow's
// thread. The listener id (a 32-bit token of the entry, unique while it
// lives), or 0 when the value is no object.
uint32_t ZEQAddEventListener(CZEQDispatchEx* object, uint32_t containerId, HWND hostWindow, const wchar_t* eventName,
                             const VARIANT* function);
// 0 when the entry was found and removed, 104 otherwise.
uint32_t ZEQRemoveEventListener(CZEQDispatchEx* object, uint32_t listenerId);
// "FireEvent": params are the call's (the event name first in script order,
// an "async:" or "sync:" prefix allowed). The result VARIANT, when given,
// receives the answers (VT_ARRAY | VT_VARIANT, one per listener called).
// The last delivery's result code; 2 when nothing could be fired, 104 when
// the object has no listeners.
uint32_t ZEQFireObjectEventListeners(CZEQDispatchEx* object, DISPPARAMS* params, VARIANT* result);

// The common members of "KESTOObjectScope", "ZEQIBC" and "ZEQThread"
// objects ("Define", "Based" and the event members) for their Invoke
// callbacks; DISP_E_MEMBERNOTFOUND for any other DISPID, DISP_E_EXCEPTION
// when the calling thread has no container.
HRESULT ZEQInvokeEventMembers(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                              IServiceProvider* caller);

// Native code raises an "On..." event on a script object: the function that
// script stored on the object under the event's name is called with the
// argument on the object's owner thread (delivery flags as given, plus
// 0x500: no container argument, the handler's cookie stays the object's).
// The delivery's result code, or 2 when the object has no such handler (no
// member, a member that is not a stored value, a value that is no object).
// The result VARIANT, when given, receives the handler's answer.
uint32_t ZEQFireObjectEvent(const wchar_t* eventName, CZEQDispatchEx* object, VARIANT* argument, VARIANT* result,
                            uint32_t flags);
struct JSArray;
// The same with the array's items as the handler's separate arguments.
uint32_t ZEQFireObjectEventArgs(uint32_t flags, CZEQDispatchEx* object, const wchar_t* eventName, JSArray* arguments,
                                VARIANT* result);

// Supporting routines.
// Removes a leading "async:" (2) or "sync:" (1), any case, in place; 0 for
// other texts, null or empty.
int ParseSyncPrefix(char* text);
// The first count arguments (DISPPARAMS order) copied into a new SAFEARRAY
// of VARIANTs in script order, in out (VT_ARRAY | VT_VARIANT); 1, or 0
// without out.
int DispParamsToSafeArray(UINT count, const VARIANT* arguments, VARIANT* out);
// 1 for a page element, 2 for a native script object, 0 otherwise.
int ZEQClassifyScriptObject(const VARIANT* value);

// Fires a custom event on a page element with a new event object; with an
// attribute name the value is set on the event object and its
// "ZEQReturnValue" attribute is the answer, else the event's returnValue
// when the event was not cancelled. The result receives the answer
// (VT_UI4 0 when nobody answered); it stays empty when the element has no
// document or event support. 0 when the event was fired, 2 otherwise.
uint32_t ZEQFireElementEvent(IHTMLElement* element, const char* eventName, const char* attributeName,
                             const VARIANT* attributeValue, VARIANT* result);
