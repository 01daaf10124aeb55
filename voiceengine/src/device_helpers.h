// Small helpers that both audio layers use.
#pragma once

#include <windows.h>

namespace voe {

inline void ToUtf8(const wchar_t* text, char out[128]) {
  if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 128, nullptr, nullptr)) out[0] = 0;
  out[127] = 0;
}

// A device thread, at the priority that keeps 10-ms blocks on time.
inline HANDLE StartDeviceThread(LPTHREAD_START_ROUTINE main, void* self) {
  HANDLE thread = CreateThread(nullptr, 0, main, self, 0, nullptr);
  if (thread) SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
  return thread;
}

}  // namespace voe
