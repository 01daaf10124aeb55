// What the URL machinery asks of "zeq:" addresses without loading them:
// the security URL that decides their zone and origin, and the resolution
// of relative references found in "zeq:" pages.
#include <cwchar>
#include <cwctype>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/zeq_protocol.h"
#include "package/path_expand.h"
#include "package/paths.h"

namespace {

constexpr wchar_t kScheme[] = L"zeq:";
constexpr size_t kSchemeLength = 4;
constexpr wchar_t kLocalPrefix[] = L"file:///";
constexpr wchar_t kWebPrefix[] = L"http://";
// Folder buffer of the base address, and the room a working text has.
constexpr size_t kFolderCharacters = 261;

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool StartsNoCase(const wchar_t* text, const wchar_t* part) { return _wcsnicmp(text, part, wcslen(part)) == 0; }

bool IsDriveForm(const wchar_t* text) { return text[0] < 0x80 && iswalpha(text[0]) && text[1] == L':'; }

enum class AddressKind { kNeither, kLocal, kWeb };

// The kind of what a "zeq:" address (the text after the prefix) stands for.
// Two slashes name a host, so they are a web address here, never a local
// file: only local files and the application's own content are local.
AddressKind KindOfBody(const wchar_t* body) {
  if (!body || !*body) return AddressKind::kNeither;
  if (StartsNoCase(body, L"//") || StartsNoCase(body, L"http:") || StartsNoCase(body, L"https:") ||
      StartsNoCase(body, L"www.")) {
    return AddressKind::kWeb;
  }
  if (StartsNoCase(body, L"file:") || (body[0] == L'\\' && body[1] == L'\\') || IsDriveForm(body)) {
    return AddressKind::kLocal;
  }
  return AddressKind::kNeither;
}

// The part of a security URL's body that stays after the prefix: a scheme
// written in the body ("file:", "http:", "https:") and the separators after
// it go, so the prefix is not doubled; a web body also loses the slashes
// that lead to its host. Never steps beyond the body's end.
// A file URL that names a host ("file://server/share/..."): its security URL
// is the URL itself, so the share keeps the zone of a network file.
bool IsFileUrlWithHost(const wchar_t* body) {
  return StartsNoCase(body, L"file://") && body[7] && !IsSeparator(body[7]);
}

const wchar_t* SecurityUrlRest(const wchar_t* body, AddressKind kind) {
  const wchar_t* rest = body;
  const wchar_t* scheme = kind == AddressKind::kLocal ? L"file" : L"http";
  bool dropSeparators = kind == AddressKind::kWeb;
  if (StartsNoCase(rest, scheme)) {
    rest += 4;
    if (kind == AddressKind::kWeb && (*rest == L's' || *rest == L'S') && rest[1] == L':') ++rest;
    if (*rest == L':') ++rest;
    dropSeparators = true;
  }
  if (dropSeparators) {
    while (IsSeparator(*rest)) ++rest;
  }
  return rest;
}

// Writes text into result[size] and its length into *length; S_FALSE with
// the size needed (need + 2) when it does not fit. need is the length the
// answer reports.
HRESULT Answer(const wchar_t* first, const wchar_t* second, size_t need, LPWSTR result, DWORD size,
               DWORD* length) {
  if (!result || size <= need) {
    if (length) *length = static_cast<DWORD>(need + 2);
    return S_FALSE;
  }
  const size_t a = wcslen(first);
  const size_t b = wcslen(second);
  // need never falls below the text written, so the text fits.
  wmemcpy(result, first, a);
  wmemcpy(result + a, second, b);
  result[a + b] = L'\0';
  if (length) *length = static_cast<DWORD>(need);
  return S_OK;
}

// The reference resolved against the folder of the base address as a new
// heap text, or NULL when it stays as it was.
wchar_t* ResolveAgainstBase(const wchar_t* base, const wchar_t* relative) {
  char* baseText = WideToAnsiDup(base ? base : L"", 0);
  char folder[kFolderCharacters] = {};
  if (!GetParentPath(SkipVirtualPrefix(baseText), folder, sizeof folder)) folder[0] = '\0';
  const size_t capacity = wcslen(relative) + kFolderCharacters;
  char* path = WideToAnsiDup(relative, capacity);
  wchar_t* resolved = nullptr;
  if (ExpandLoaderRelativePath(&path, capacity, folder)) {
    // A reference of a "zeq:" page stays a "zeq:" address, served (and
    // trusted) as the page itself is, not handed to another protocol.
    const bool keepScheme = StripVirtualPrefix(baseText, FALSE) && !StripVirtualPrefix(path, FALSE);
    wchar_t* wide = AnsiToWideDup(path, 0);
    if (keepScheme) {
      const size_t n = wcslen(wide);
      resolved = HeapAllocWide(n + kSchemeLength + 1);
      wmemcpy(resolved, kScheme, kSchemeLength);
      wmemcpy(resolved + kSchemeLength, wide, n + 1);
      HeapFreeZ(wide);
    } else {
      resolved = wide;
    }
  }
  HeapFreeZ(path);
  HeapFreeZ(baseText);
  return resolved;
}

}  // namespace

bool ZEQAddressIsLocalContent(const wchar_t* url) {
  if (!url || _wcsnicmp(url, kScheme, kSchemeLength) != 0) return false;
  const wchar_t* body = url + kSchemeLength;
  // A file of this machine: a drive path, also as a file URL without a host
  // ("file:C:\...", "file:///C:/..."). Shares of other machines
  // ("\\server\share", "file://server/share") are network files, not local.
  if (StartsNoCase(body, L"file:")) {
    body += 5;
    if (IsSeparator(body[0]) && IsSeparator(body[1])) {
      body += 2;
      if (!IsSeparator(*body)) return false;  // a host
      while (IsSeparator(*body)) ++body;
    }
  }
  return IsDriveForm(body);
}

HRESULT ZEQMapAddressToZone(const wchar_t* url, DWORD* zone) {
  if (!zone) return E_POINTER;
  if (!ZEQAddressIsLocalContent(url)) return INET_E_DEFAULT_ACTION;
  *zone = URLZONE_LOCAL_MACHINE;
  return S_OK;
}

HRESULT CZEQAPP::ParseUrl(LPCWSTR url, PARSEACTION action, DWORD, LPWSTR result, DWORD size, DWORD* length,
                          DWORD) try {
  if (action != PARSE_SECURITY_URL || !url || _wcsnicmp(url, kScheme, kSchemeLength) != 0) {
    return INET_E_DEFAULT_ACTION;
  }
  // The body is what follows the scheme, in whatever case it is written:
  // the same body the local-content rule examines, so that the security URL
  // and the zone mapping never disagree about an address.
  const wchar_t* body = url + kSchemeLength;
  const AddressKind kind = KindOfBody(body);
  if (kind == AddressKind::kNeither) return INET_E_DEFAULT_ACTION;
  const size_t bodyLength = wcslen(body);
  if (IsFileUrlWithHost(body)) return Answer(body, L"", bodyLength + 1, result, size, length);
  const wchar_t* prefix = kind == AddressKind::kLocal ? kLocalPrefix : kWebPrefix;
  const size_t need = wcslen(prefix) + bodyLength + 2;
  return Answer(prefix, SecurityUrlRest(body, kind), need, result, size, length);
} ZEQ_COM_CATCH("CZEQAPP::ParseUrl")

HRESULT CZEQAPP::CombineUrl(LPCWSTR base, LPCWSTR relative, DWORD, LPWSTR result, DWORD size, DWORD* length,
                            DWORD) try {
  if (!relative || !*relative) return INET_E_DEFAULT_ACTION;
  if (!base) base = L"";
  if (relative[0] == L'#') {
    return Answer(base, relative, wcslen(base) + wcslen(relative) + 1, result, size, length);
  }
  HRESULT hr;
  try {
    wchar_t* resolved = ResolveAgainstBase(base, relative);
    const wchar_t* text = resolved ? resolved : relative;
    hr = Answer(text, L"", wcslen(text) + 1, result, size, length);
    HeapFreeZ(resolved);
  } catch (const ZEQOutOfMemory&) {
    hr = E_OUTOFMEMORY;
  }
  return hr;
} ZEQ_COM_CATCH("CZEQAPP::CombineUrl")
