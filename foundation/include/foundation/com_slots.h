// Interface slots: a variable that holds one interface pointer and owns one
// reference to it. NULL pointers are ignored everywhere.
#pragma once
#include <windows.h>
#include <unknwn.h>

struct IDispatch;
struct IDispatchEx;
struct IElementBehaviorSiteOM;
struct IWebBrowser2;

// Releases the held pointer and empties the slot; returns the slot.
template <typename T>
T** SafeReleaseSlot(T** slot) {
  if (slot && *slot) {
    T* held = *slot;
    *slot = nullptr;
    held->Release();
  }
  return slot;
}

template <typename T>
void ReleaseInterface(T** slot) {
  SafeReleaseSlot(slot);
}

// COM identity: TRUE when both pointers answer the same IUnknown. FALSE when
// either is NULL.
BOOL IsSameComObject(IUnknown* first, IUnknown* second);

// Stores a pointer whose reference passes to the slot. When the slot already
// holds that object (by COM identity) the slot keeps its pointer and the
// passed reference is released, so no reference is lost or leaked; otherwise
// the old pointer is released. Returns the slot's pointer.
template <typename T>
T* ComAssign(T** slot, T* pointer) {
  if (IsSameComObject(*slot, pointer)) {
    pointer->Release();
    return *slot;
  }
  T* old = *slot;
  *slot = pointer;
  if (old) old->Release();
  return pointer;
}

// Fetch an interface parked in the process Global Interface Table by its
// cookie and ask it for the named interface. The result carries a reference
// for the caller; NULL when the table, the cookie or the interface is missing.
IDispatch* GetGITDispatch(DWORD cookie);
IDispatchEx* GetGITDispatchEx(DWORD cookie);
IElementBehaviorSiteOM* GetGITBehaviorSiteOM(DWORD cookie);
IWebBrowser2* GetGITWebBrowser2(DWORD cookie);
