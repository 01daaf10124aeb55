// Cookie names: texts that stand for parked objects inside argument texts.
// Only names this process made stand for objects; the set of them is kept
// here, so a text from elsewhere that looks like a name stays a text.
#include <cwchar>
#include <unordered_set>

#include "foundation/git_table.h"
#include "host/cross_thread.h"

namespace {

struct NameSet {
  SRWLOCK lock = SRWLOCK_INIT;
  std::unordered_set<DWORD> cookies;
};

// Never destroyed: names may be revoked by other static objects.
NameSet& Names() {
  static NameSet* set = new NameSet;
  return *set;
}

// The host's mark on the VARIANTs of its cookie names: the three reserved
// words, which script engines leave zero and VariantCopy carries along.
constexpr WORD kMark[3] = {0x5A51, 0x474B, 0x4954};

}  // namespace

void ZEQMarkCookieName(VARIANT* value) {
  if (!value || V_VT(value) != VT_BSTR) return;
  value->wReserved1 = kMark[0];
  value->wReserved2 = kMark[1];
  value->wReserved3 = kMark[2];
}

bool ZEQIsMarkedCookieName(const VARIANT* value) {
  return value && V_VT(value) == VT_BSTR && value->wReserved1 == kMark[0] &&
         value->wReserved2 == kMark[1] && value->wReserved3 == kMark[2];
}

DWORD ZEQMakeCookieName(IUnknown* object, wchar_t* buffer, size_t size) {
  if (buffer && size) buffer[0] = 0;
  if (!buffer || size < kZEQCookieNameSize) return 0;
  const DWORD cookie = ZEQGITRegister(object);
  if (!cookie) return 0;
  NameSet& names = Names();
  AcquireSRWLockExclusive(&names.lock);
  try {
    names.cookies.insert(cookie);
  } catch (...) {
    ReleaseSRWLockExclusive(&names.lock);
    RevokeGITCookie(cookie);
    throw;
  }
  ReleaseSRWLockExclusive(&names.lock);
  _snwprintf(buffer, size - 1, L"%ls%lu", kZEQCookieNamePrefix, static_cast<unsigned long>(cookie));
  buffer[size - 1] = 0;
  return cookie;
}

int ZEQRevokeCookieName(DWORD cookie) {
  NameSet& names = Names();
  AcquireSRWLockExclusive(&names.lock);
  names.cookies.erase(cookie);
  ReleaseSRWLockExclusive(&names.lock);
  return RevokeGITCookie(cookie);
}

DWORD ZEQCookieNameToCookie(const wchar_t* text) {
  if (!text || wcsncmp(text, kZEQCookieNamePrefix, kZEQCookieNamePrefixLength) != 0) return 0;
  const wchar_t* digits = text + kZEQCookieNamePrefixLength;
  // Exactly the decimal cookie, as the name was written.
  if (*digits < L'1' || *digits > L'9') return 0;
  wchar_t* end = nullptr;
  const unsigned long long value = wcstoull(digits, &end, 10);
  if (!end || *end || value > 0xFFFFFFFFull) return 0;
  const DWORD cookie = static_cast<DWORD>(value);
  NameSet& names = Names();
  AcquireSRWLockShared(&names.lock);
  const bool made = names.cookies.count(cookie) != 0;
  ReleaseSRWLockShared(&names.lock);
  return made ? cookie : 0;
}
