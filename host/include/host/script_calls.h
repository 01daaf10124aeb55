// Running cross-thread script calls (foundation/script_calls.h) in the
// target page, on the thread that owns the target container's window: the
// interface name is a page function, a member of an object parked in the
// Global Interface Table ("cookie:name"), a function object (a cookie alone)
// or inline code ("JS:" and the code); the outcome becomes a ZEQERROR_ /
// ZEQACTION_ result code, and a named callback receives the result as a new
// call to the caller's page.
#pragma once
#include <exdisp.h>
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/script_calls.h"

// Installs the container look-up and the execution in the foundation's call
// machinery; every process (and test program) that delivers calls does it
// once before the first call.
void ZEQInstallScriptCalls();
// The delivery of packages' extract-error events to their owner script
// objects' handlers (package/package_extract.h); ZEQInstallScriptCalls
// installs it too.
void ZEQInstallPackageExtractEvents();

// Runs the item on the current thread (the owner of its target window).
uint32_t ZEQExecuteAPC(ZEQApcItemHolder& item);
// Readies an item for a run on a thread other than its target window's: a
// plain interface name becomes "cookie:name", the cookie naming the target
// page's script object in the Global Interface Table (revoked when the item
// is freed). Empty names, names that start with a digit, items run on the
// target's own thread and targets whose browser is not in the table are left
// as they are. Returns 1.
uint32_t ZEQMarshalInterfaceName(ZEQApcItemHolder& item);
// Calls the interface in the target container's page and delivers the
// callback. argument: the item's argument (flag 0x2: a plain copy, else a
// marshalled record); hr: receives the call's HRESULT when given.
uint32_t ZEQInvokeAPCTarget(HWND sourceWindow, HWND targetWindow, const wchar_t* interfaceName,
                            const wchar_t* callbackName, VARIANT* argument, VARIANT* result, uint32_t flags,
                            HRESULT* hr, HWND sourceContainer);
// Resolves and invokes one name in the page of the browser.
uint32_t ZEQInvokeScriptFunction(const wchar_t* name, IWebBrowser2* browser, VARIANT* argument, uint32_t flags,
                                 VARIANT* result, HRESULT* hr, LONG callCounter, HWND sourceContainer);

struct JSArray;
// A script array as the argument (converted to one SAFEARRAY); with flag
// 0x40 its elements become the function's parameters.
uint32_t ZEQDeliverAPCWithArgs(HWND target, const wchar_t* interfaceName, JSArray* arguments, VARIANT* result,
                               uint32_t flags, HWND sourceWindow, uint32_t delay, const wchar_t* delayName,
                               HWND sourceContainer);
