// The account that owns the process, and the administrator test.
#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/system_queries.h"

namespace {

constexpr DWORD kAccountNameMax = 512;

// The owner SID of the process token in a heap block, or null.
TOKEN_OWNER* ReadTokenOwner(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenOwner, nullptr, 0, &size);
  if (!size) return nullptr;
  auto* owner = static_cast<TOKEN_OWNER*>(HeapAllocZ(size + 3));
  if (!GetTokenInformation(token, TokenOwner, owner, size, &size)) {
    HeapFreeZ(owner);
    return nullptr;
  }
  return owner;
}

}  // namespace

BOOL GetProcessOwnerAccount(char* name, size_t nameSize, char* domain, size_t domainSize) {
  if (!name || !domain || !nameSize || !domainSize || !IsWindowsXPOrLater()) return FALSE;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  if (!process) return FALSE;
  BOOL found = FALSE;
  HANDLE token = nullptr;
  TOKEN_OWNER* owner = nullptr;
  try {
    if (OpenProcessToken(process, TOKEN_QUERY | TOKEN_QUERY_SOURCE, &token) && (owner = ReadTokenOwner(token))) {
      char account[kAccountNameMax + 1] = "";
      char accountDomain[kAccountNameMax + 1] = "";
      DWORD accountLength = kAccountNameMax;
      DWORD domainLength = kAccountNameMax;
      SID_NAME_USE use;
      if (LookupAccountSidA(nullptr, owner->Owner, account, &accountLength, accountDomain, &domainLength, &use)) {
        StrCopyN(name, account, nameSize - 1);
        StrCopyN(domain, accountDomain, domainSize - 1);
        found = TRUE;
      }
    }
  } catch (...) {
    found = FALSE;
  }
  HeapFreeZ(owner);
  if (token) CloseHandle(token);
  CloseHandle(process);
  return found;
}

BOOL IsUserAdministrator() {
  if (!IsWindowsXPOrLater()) return FALSE;
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    return FALSE;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member;
}
