// The guard of every COM method and callback that can allocate: no C++
// exception may unwind through the script engine's, oleaut32's or urlmon's
// frames, which know nothing of it. A guarded method is a function-try-block
// whose handlers answer E_OUTOFMEMORY for an allocation failure and E_FAIL
// for any other exception, each after the log line
// "!name: Unexpected exception...":
//
//   HRESULT Thing::get_Name(BSTR* out) try {
//     return ReturnBstr(name_, out);
//   } ZEQ_COM_CATCH("Thing::get_Name")
#pragma once
#include <windows.h>

#include <new>

#include "foundation/log.h"

// Logs the exception of the named method; the answer passes through.
inline HRESULT ZEQComException(const char* name, HRESULT answer) noexcept {
  try {
    ZEQLogUnexpected(name);
  } catch (...) {
    // Not even the log line could be written: the answer still goes back.
  }
  return answer;
}

#define ZEQ_COM_CATCH(name)                                                 \
  catch (const std::bad_alloc&) {                                           \
    return ZEQComException(name, E_OUTOFMEMORY);                            \
  }                                                                         \
  catch (...) {                                                             \
    return ZEQComException(name, E_FAIL);                                   \
  }

// The same guard for a callback whose answer is no HRESULT (a window or
// timer procedure that platform code calls): after the log line it answers
// `failed`.
#define ZEQ_CALLBACK_CATCH(name, failed) \
  catch (...) {                          \
    ZEQComException(name, E_FAIL);       \
    return failed;                       \
  }
