// Scoped enter and leave of a critical section. The guard also leaves the
// section when an exception unwinds through the guarded code.
#pragma once
#include <windows.h>

#include <cstdint>

struct ZEQLockGuard {
  CRITICAL_SECTION* section = nullptr;
  int32_t held = 0;

  ZEQLockGuard() = default;
  explicit ZEQLockGuard(CRITICAL_SECTION* cs) { Lock(cs); }
  ZEQLockGuard(const ZEQLockGuard&) = delete;
  ZEQLockGuard& operator=(const ZEQLockGuard&) = delete;
  ~ZEQLockGuard() { Unlock(); }

  // A NULL section marks the guard held without entering anything. A guard
  // holds one section at a time: locking again first leaves the previous one.
  void Lock(CRITICAL_SECTION* cs) {
    Unlock();
    section = cs;
    if (cs) EnterCriticalSection(cs);
    held = 1;
  }
  // Leaves the section once; further calls do nothing.
  void Unlock() {
    if (section) {
      LeaveCriticalSection(section);
      section = nullptr;
    }
    held = 0;
  }
};
