// Pointers through 32-bit channels (a VT_UI4, a DISPID, a DWORD field, "%08X"
// in a name). On i686 a token is the pointer itself. On x86_64 a process-wide
// table gives each registered pointer a positive 32-bit token from
// 0x10000000 up (never a small number, so it cannot collide with member
// DISPIDs), distinct from every other registered token, and maps it back.
// What comes back is validated like any record pointer before use.
#pragma once
#include <cstdint>

// Registers the pointer (once: a pointer already registered keeps its token)
// and returns its token; NULL gives 0. Safe from any thread.
uint32_t ZEQPointerToToken(void* pointer);
// The pointer registered under the token; NULL for 0 or an unknown token.
void* ZEQTokenToPointer(uint32_t token);
// Forgets the pointer's token; its later look-ups give NULL.
void ZEQReleasePointerToken(void* pointer);

constexpr uint32_t kZEQFirstPointerToken = 0x10000000;
