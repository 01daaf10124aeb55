// The host object "KESTO": the script object that page script reaches as
// window.external in containers with the "zeq" option. Its name look-up
// answers "ZEQGetVersion" and "ZEQGetEnvironmentData" everywhere and every
// other name only in "zeq" containers; its dispatcher serves the host
// object's own methods and hands every other DISPID to the chained member
// tables in their fixed order. A chained table takes part only once it is
// registered here: its callback registers its names during the host
// object's registering call and answers DISP_E_MEMBERNOTFOUND for every
// DISPID it does not serve.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"

constexpr DISPID kKestoDispidGetVersion = 1000;
constexpr DISPID kKestoDispidGetEnvironmentData = 10000;

// The chained member tables, in dispatch order.
enum class KestoMemberTable {
  kApplicationMethods = 0,
  kGlobalFunctions,
  kContainerFunctions,
  kWebBrowserMethods,
  kWindowFunctions,
  kFileSystemFunctions,
  kSoundFunctions,
  kCount
};

// Installs (or, with null, removes) the callback of a chained table. Host
// objects made afterwards register its names; every host object dispatches
// to it. Call before the first container is made.
void ZEQRegisterHostMemberTable(KestoMemberTable table, ZEQInvokeCallback callback);

// The two class callbacks of "KESTO".
HRESULT KESTOHostGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT KESTOHostInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, IServiceProvider* caller);

// A new host object owned by the container's host window (one reference),
// or null when memory is exhausted.
CZEQDispatchEx* KESTOCreateHostObject(HWND owner);

// Makes the host object the one every new browser container gets (the
// container factory seam of host/browser_container.h); once per process,
// with the other container set-up.
void ZEQInstallHostObject();
