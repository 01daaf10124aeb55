// A lock for pure logic, over the platform's own lock (a critical section on
// Windows, a recursive mutex natively): the thread that holds it may enter
// it again. Pure logic: the header names no platform type.
#pragma once
#include <cstddef>

class ZEQLock {
 public:
  ZEQLock();
  ~ZEQLock();
  ZEQLock(const ZEQLock&) = delete;
  ZEQLock& operator=(const ZEQLock&) = delete;

  void Enter();
  void Leave();

 private:
  // Room for the largest platform lock; each implementation checks it fits.
  alignas(16) unsigned char storage_[64];
};

// Holds a lock for a scope; it is left also when an exception unwinds
// through the scope.
class ZEQLockScope {
 public:
  explicit ZEQLockScope(ZEQLock& lock) : lock_(lock) { lock_.Enter(); }
  ~ZEQLockScope() { lock_.Leave(); }
  ZEQLockScope(const ZEQLockScope&) = delete;
  ZEQLockScope& operator=(const ZEQLockScope&) = delete;

 private:
  ZEQLock& lock_;
};
