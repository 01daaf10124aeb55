#include <cstdarg>

#include "foundation/heap.h"
#include "foundation/profiler.h"
#include "foundation/runtime_services.h"
#include "foundation/waits.h"

namespace {

constexpr DWORD kThrottleMs = 100;

}  // namespace

BOOL PostTextMessage(WORD code, DWORD* throttle, HWND window, int line, const char* format, ...) {
  if (!window || !IsWindow(window) || !format) return FALSE;
  if (throttle) {
    if (TicksSince(*throttle) < kThrottleMs) return FALSE;
    *throttle = GetTickCount();
  }
  va_list args;
  va_start(args, format);
  char* text = HeapFormatString(0, format, args);
  va_end(args);
  const WPARAM wParam = (WPARAM(code) << 16) | (WPARAM(line) & 0xFFFF);
  if (PostMessageA(window, WM_USER, wParam, reinterpret_cast<LPARAM>(text))) return TRUE;
  HeapFreeZ(text);
  return FALSE;
}
