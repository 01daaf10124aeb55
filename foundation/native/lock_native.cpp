#include "foundation/lock.h"

#include <mutex>
#include <new>

static std::recursive_mutex* Mutex(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}

ZEQLock::ZEQLock() {
  static_assert(sizeof(std::recursive_mutex) <= sizeof(storage_), "the mutex fits the lock");
  new (storage_) std::recursive_mutex();
}
ZEQLock::~ZEQLock() { Mutex(storage_)->~recursive_mutex(); }
void ZEQLock::Enter() { Mutex(storage_)->lock(); }
void ZEQLock::Leave() { Mutex(storage_)->unlock(); }
