// A recursive lock and its scope guard for the engine's threads.
#pragma once

#include <windows.h>

namespace voe {

class Lock {
 public:
  Lock() { InitializeCriticalSectionAndSpinCount(&section_, 4000); }
  ~Lock() { DeleteCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class Locked {
 public:
  explicit Locked(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~Locked() { lock_.Leave(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  Lock& lock_;
};

// Milliseconds of a steady clock.
uint32_t NowMs();

}  // namespace voe
