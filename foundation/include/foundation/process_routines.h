// Small queries about the running process.
#pragma once
#include <windows.h>

// The executable's own module handle (its load address).
HMODULE GetOwnModule();
// The executable's path, lower-cased in place, into a buffer of MAX_PATH
// characters; returns GetModuleFileNameA's result (0 for a NULL buffer).
DWORD GetModulePathLower(char* buffer);
// TRUE when the slot holds a handle other than 0 and INVALID_HANDLE_VALUE.
BOOL IsValidHandleSlot(const HANDLE* slot);
