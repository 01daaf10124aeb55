// The process Global Interface Table. Start-up creates it once; every
// operation that parks or fetches interfaces across threads goes through it
// and does nothing while it is absent.
#pragma once
#include <windows.h>
#include <objidl.h>

// Creates the standard in-process table (the calling thread must have COM
// initialised). S_OK when the table exists afterwards, also when it already
// existed; otherwise the failure of CoCreateInstance.
HRESULT ZEQCreateGlobalInterfaceTable();
// The process table without an added reference, or NULL.
IGlobalInterfaceTable* ZEQGlobalInterfaceTable();
// Drops the process table (teardown).
void ZEQReleaseGlobalInterfaceTable();

// Cookies. COM interfaces may be used only on the apartment that obtained
// them, so an interface that outlives a call or changes threads is parked in
// the table and carried as a 32-bit cookie; the thread that needs it fetches
// its own copy by cookie. Interfaces are always registered as IUnknown;
// cookie 0 means no interface. The table is free-threaded: these take no
// locks, and answer with their failure value while there is no table.

// Registers the object's IUnknown; 0 for a null object, no table or a
// refusal.
DWORD ZEQGITRegister(IUnknown* object);
// 1 when the table accepted the revocation, else 0 (an unknown or already
// revoked cookie included).
int RevokeGITCookie(DWORD cookie);
// The interface registered under the cookie, valid on the calling thread,
// with one reference for the caller; null when there is none. The typed
// fetches (GetGITDispatch ...) are in com_slots.h.
IUnknown* GetInterfaceFromGIT(DWORD cookie);
