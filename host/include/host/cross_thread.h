// Interfaces across threads: every interface that outlives a call or changes
// threads is parked in the process Global Interface Table and carried as a
// cookie (foundation/git_table.h); script values cross as ZEQMarshaledVariant
// records (foundation/variant.h). Here: the cookie names that stand for
// objects inside argument texts, argument arrays turned into DISPPARAMS,
// calls of a document's script functions, and a browser's window reached
// from any thread.
#pragma once
#include <exdisp.h>
#include <mshtml.h>
#include <oaidl.h>
#include <windows.h>

#include <cstddef>

// The cookie name of an object: kZEQCookieNamePrefix followed by the cookie
// in decimal.
constexpr wchar_t kZEQCookieNamePrefix[] = L"{8E4D2F61-5A3C-47B2-B1D8-39F07A6C2E15}.KESTOGIT.";
constexpr size_t kZEQCookieNamePrefixLength = 48;
// Room for a whole cookie name and its terminator.
constexpr size_t kZEQCookieNameSize = 64;

// Parks the object in the table and writes its cookie name into buffer
// (kZEQCookieNameSize characters). Only names made here are turned back into
// objects, so a text that merely looks like one stays a text. The cookie
// (0, with an empty buffer, when the object cannot be parked).
DWORD ZEQMakeCookieName(IUnknown* object, wchar_t* buffer, size_t size);
// Forgets a name made by ZEQMakeCookieName and revokes its cookie; 1 when
// the table accepted the revocation.
int ZEQRevokeCookieName(DWORD cookie);
// The cookie of a text that is exactly a name made by ZEQMakeCookieName and
// not yet revoked (the prefix compared case-sensitively); 0 otherwise.
DWORD ZEQCookieNameToCookie(const wchar_t* text);
// A cookie name reaches an argument array as a text VARIANT that carries the
// host's mark (in its reserved words, which script never sets and copies
// keep): only marked elements are turned back into objects, so a text from
// the network that equals a live name stays a text. Marking a VARIANT that
// holds no text does nothing.
void ZEQMarkCookieName(VARIANT* value);
bool ZEQIsMarkedCookieName(const VARIANT* value);

// Stores a value (an interface pointer) into an out slot; a null slot is
// ignored.
template <typename T>
void SetOutValue(T** slot, T* value) {
  if (slot) *slot = value;
}

// The argument block of a call: {VARIANT array, no named ids, count, 0} with
// the marshalled argument array's elements (script order: first argument
// first) in DISPPARAMS order; freed with ZEQVariantArray::Delete. A leading
// object becomes the callee's last argument, a trailing one its first. An
// element that is a marked cookie name becomes the object parked under it (a name
// whose object is gone stays a text, as does an unmarked text). Null when the
// array cannot be read.
DISPPARAMS* ZEQUnmarshalArguments(IDispatch* leading, SAFEARRAY* arguments, IDispatch* trailing);

// Calls a global function of a document's script with the marshalled
// argument array; the call's HRESULT. A name the page does not define gives
// the look-up's failure and leaves the result untouched.
HRESULT ZEQCallDocumentFunction(IHTMLDocument2* document, const wchar_t* name, SAFEARRAY* arguments, VARIANT* result);

// What a browser site gives to reach its window from any thread: the
// container window (whose thread owns the browser), the browser, and the
// browser's Global Interface Table cookie for other threads.
struct ZEQBrowserSiteRef {
  HWND containerWindow;
  IWebBrowser2* browser;
  DWORD browserCookie;
};
// The window of the site's current document, with a reference for the
// caller; null when there is none.
IHTMLWindow2* IBCGetHTMLWindow(const ZEQBrowserSiteRef* site);
