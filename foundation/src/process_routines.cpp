#include "foundation/process_routines.h"

HMODULE GetOwnModule() { return GetModuleHandleA(nullptr); }

DWORD GetModulePathLower(char* buffer) {
  if (!buffer) return 0;
  DWORD length = GetModuleFileNameA(GetOwnModule(), buffer, MAX_PATH);
  // A truncated path is not terminated on every system version.
  if (length >= MAX_PATH) buffer[MAX_PATH - 1] = '\0';
  CharLowerA(buffer);
  return length;
}

BOOL IsValidHandleSlot(const HANDLE* slot) {
  return slot && *slot && *slot != INVALID_HANDLE_VALUE;
}
