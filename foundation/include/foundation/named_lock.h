// Named lock: a critical section with spin count 4000 and a name (for
// diagnostics), embedded in the records that use it. Not recursive across
// threads; entered and left by the owning record's code.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr DWORD kZEQNamedLockSpinCount = 4000;
constexpr size_t kZEQNamedLockNameSize = 132;  // 131 characters and the terminator

struct ZEQNamedLock {
  uint32_t spinCount;
  char name[kZEQNamedLockNameSize];
  CRITICAL_SECTION section;

  // Copies the name (at most 131 characters; null or empty: no name) and
  // initialises the section with the spin count.
  void Init(const char* lockName = nullptr);
  void Delete();
  void Enter();
  void Leave();
  BOOL TryEnter();
  CRITICAL_SECTION* Section() { return &section; }
};
