// "ZEQSystemService"(program path, number): a program installed as a
// service of the platform's service manager, under a name taken from its
// file name (the display name is the name without its extension, the
// service name the same with blanks made '_'). Methods, each answering a
// "ZEQReturn":
//   Install() 1, Start() 2, Invoke(request, parameter[, number]) 3,
//   Stop() 4, Uninstall() 5, QueryInfo() 6 ("State").
// Install, Start, Stop and Uninstall retry for up to ten seconds while the
// thread's messages keep being dispatched. Install and Uninstall never
// remove a service of the same name that runs another program. Invoke
// sends "request, parameter" to the service's pipe ("\\.\pipe\<name>")
// and reads one UTF-16 reply "code,data" (or "code,system error"), waiting
// a bounded time and stopping when the service closes the pipe.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"

constexpr wchar_t kZEQSystemServiceClass[] = L"ZEQSystemService";

HRESULT ZEQSystemServiceGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQSystemServiceInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
