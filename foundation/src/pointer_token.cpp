#include "foundation/pointer_token.h"

#if defined(_WIN64)

#include <windows.h>

#include <unordered_map>

namespace {

constexpr uint32_t kLastToken = 0x7FFFFFFF;

struct TokenTable {
  SRWLOCK lock = SRWLOCK_INIT;
  std::unordered_map<void*, uint32_t> byPointer;
  std::unordered_map<uint32_t, void*> byToken;
  uint32_t next = kZEQFirstPointerToken;
};

// Never destroyed: tokens stay usable while other static objects go away.
TokenTable& Table() {
  static TokenTable* table = new TokenTable;
  return *table;
}

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(lock_); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace

uint32_t ZEQPointerToToken(void* pointer) {
  if (!pointer) return 0;
  TokenTable& table = Table();
  ExclusiveLock guard(&table.lock);
  auto found = table.byPointer.find(pointer);
  if (found != table.byPointer.end()) return found->second;
  // Tokens wrap round after the last positive value and skip those in use.
  uint32_t token;
  do {
    token = table.next;
    table.next = token == kLastToken ? kZEQFirstPointerToken : token + 1;
  } while (table.byToken.count(token));
  table.byToken.emplace(token, pointer);
  try {
    table.byPointer.emplace(pointer, token);
  } catch (...) {
    table.byToken.erase(token);
    throw;
  }
  return token;
}

void* ZEQTokenToPointer(uint32_t token) {
  if (!token) return nullptr;
  TokenTable& table = Table();
  AcquireSRWLockShared(&table.lock);
  auto found = table.byToken.find(token);
  void* pointer = found == table.byToken.end() ? nullptr : found->second;
  ReleaseSRWLockShared(&table.lock);
  return pointer;
}

void ZEQReleasePointerToken(void* pointer) {
  if (!pointer) return;
  TokenTable& table = Table();
  ExclusiveLock guard(&table.lock);
  auto found = table.byPointer.find(pointer);
  if (found == table.byPointer.end()) return;
  table.byToken.erase(found->second);
  table.byPointer.erase(found);
}

#else

// 32-bit addresses fit the channel as they are.
uint32_t ZEQPointerToToken(void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }
void* ZEQTokenToPointer(uint32_t token) { return reinterpret_cast<void*>(static_cast<uintptr_t>(token)); }
void ZEQReleasePointerToken(void*) {}

#endif
