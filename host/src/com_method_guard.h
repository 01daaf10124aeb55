// The catch-all guard of the site's and the browser services' COM methods:
// no C++ exception crosses the COM boundary; the failure is logged as
// "!name: Unexpected exception..." and answered E_OUTOFMEMORY (heap
// exhausted) or E_FAIL.
#pragma once
#include <windows.h>

#include <new>

#include "foundation/log.h"

template <typename Body>
HRESULT ZEQGuardedComCall(const char* name, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    ZEQLogPrintf("!%s: Unexpected exception...", name);
    return E_OUTOFMEMORY;
  } catch (...) {
    ZEQLogPrintf("!%s: Unexpected exception...", name);
    return E_FAIL;
  }
}
