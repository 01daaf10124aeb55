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
