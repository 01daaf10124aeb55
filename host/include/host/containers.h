// What script objects need to know of the container that owns a window,
// until the container record itself exists: its option flags, whether it
// has a browser site and that site's download-control flags, and the member
// store that its "ZEQGlobal" objects share. Containers are registered by
// their window.
#pragma once
#include <windows.h>
#include <exdisp.h>

#include <cstdint>

#include "host/property_store.h"

// Option flags read by script objects.
constexpr uint32_t WB_ROOTWINDOW = 0x800;
constexpr uint32_t WB_MAINWINDOW = 0x4000000;
// Either bit lets "KESTOGlobal" expandos hold objects.
constexpr uint32_t kZEQContainerAllowsGlobalObjects = WB_ROOTWINDOW | WB_MAINWINDOW;

struct ZEQWindowContainer {
  uint32_t options;
  bool hasSite;             // a browser site exists
  int32_t downloadControl;  // the site's download-control flags
  bool ready;               // creation finished
  bool interfaceReady;      // the page's interface is ready for calls
  // The container's browser, used only on the window's own thread (no
  // reference is held here: the container owns it).
  IWebBrowser2* browser;
  uint32_t id;              // given at registration, unique per container
  // The browser's Global Interface Table cookie, through which other
  // threads reach it (0: none; owned by whoever registered the browser).
  DWORD browserCookie;
};

// Registers (or updates) the container of a window. A new container gets a
// new, empty "ZEQGlobal" store.
void ZEQSetWindowContainer(HWND window, const ZEQWindowContainer& container);
// Changes the ready flags of a registered container; false when the window
// has none.
bool ZEQSetWindowContainerReady(HWND window, bool ready, bool interfaceReady, IWebBrowser2* browser);
// Forgets the window's container (its store goes with its last holder).
void ZEQRemoveWindowContainer(HWND window);
// true with a copy of the fields when the window has a container.
bool ZEQGetWindowContainer(HWND window, ZEQWindowContainer* container);
// The store of the top container of a window: the container of its
// top-level window, else its own. false (holder left empty) when neither
// has one.
bool ZEQGetTopContainerStore(HWND window, ZEQPropertyStoreHolder* store);

class CZEQDispatchEx;
// The "ZEQGlobal" class: instances made with new share the member store of
// their top container, so every page of that container sees the same
// expandos. Without a container, new answers null.
HRESULT ZEQGlobalGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQGlobalInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, IServiceProvider* caller);
// A new "ZEQGlobal" object over the store of the window's top container
// (the caller's reference); null when there is none.
CZEQDispatchEx* ZEQNewGlobalObject(HWND owner);

// State flag: the loader style sheet went into a page of the current
// top-level navigation.
constexpr uint32_t kContainerStateLoaderCSS = 0x10;

// The loader style sheet of a registered container: the path of the style
// sheet put into the first page of each top-level navigation (NULL or "":
// none; cut to MAX_PATH characters). false when the window has none.
bool ZEQSetWindowContainerLoaderCSS(HWND window, const char* path);
// A copy of the path into buffer[size] ("" when none); false when the
// window has no container.
bool ZEQGetWindowContainerLoaderCSS(HWND window, char* buffer, size_t size);
// The state flags of a container's document: replaced, or bits set (the
// flags as they were before through *before, optional). false when the
// window has no container.
bool ZEQSetWindowContainerState(HWND window, uint32_t flags);
bool ZEQSetWindowContainerStateBits(HWND window, uint32_t bits, uint32_t* before);
