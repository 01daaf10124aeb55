// The process Global Interface Table. COM interfaces may be used only on the
// apartment that obtained them, so an interface that outlives a call or
// changes threads is parked here and carried as a 32-bit cookie; the thread
// that needs it fetches its own copy by cookie. Interfaces are always
// registered as IUnknown; cookie 0 means no interface.
//
// The table pointer is created once at start-up
// (ZEQCreateGlobalInterfaceTable, on a thread with COM initialised) and
// dropped at teardown (ZEQReleaseGlobalInterfaceTable, after every thread
// that uses it has stopped). The table itself is free-threaded; these
// functions take no locks. While there is no table every operation does
// nothing and answers with its failure value.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <objidl.h>

// S_OK when the table exists afterwards (created now or before), otherwise
// the failure of CoCreateInstance.
HRESULT ZEQCreateGlobalInterfaceTable();
// The process table without an added reference, or NULL.
IGlobalInterfaceTable* ZEQGlobalInterfaceTable();
void ZEQReleaseGlobalInterfaceTable();

// Registers the object's IUnknown; 0 for a null object, no table or a
// refusal.
DWORD ZEQGITRegister(IUnknown* object);
// 1 when the table accepted the revocation, else 0 (an unknown or already
// revoked cookie included).
int RevokeGITCookie(DWORD cookie);
// The interface registered under the cookie, valid on the calling thread,
// with one reference for the caller; null when there is none.
IUnknown* GetInterfaceFromGIT(DWORD cookie);
// The same object asked for IDispatch (a reference the caller owns), or null.
IDispatch* GetGITDispatch(DWORD cookie);
