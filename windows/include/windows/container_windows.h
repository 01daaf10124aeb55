// Container windows: a "KESTO Window" with a browser container in its body,
// made on the calling thread or on a UI thread of its own. The container
// host installs what the window layer cannot do itself (the browser
// container's creation, navigation and teardown, and the script set-up of a
// new UI thread) with ZEQInstallContainerHost, once per process.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/variant.h"
#include "foundation/waits.h"
#include "windows/records.h"

struct ZEQContainerHost {
  // Builds a browser container in a host window (the body); the holder
  // stays empty on failure.
  void (*create)(ZEQContainerHolder* out, bool top, const ZEQContainerHolder& caller,
                 const ZEQContainerHolder& parent, HWND host, const char* name, const char* url,
                 ZEQMarshaledVariant* arguments, const char* loaderStyleSheet, const char* loaderExtra,
                 uint32_t options, uint32_t relation);
  // Navigates a ready container to its start document.
  void (*navigate)(const ZEQContainerHolder& container, const ZEQContainerHolder& caller);
  // Closes the container's browser and releases its site (the host window
  // is being destroyed).
  void (*teardown)(const ZEQContainerHolder& container);
  // Run first and last on a new UI thread (after OleInitialize, before
  // OleUninitialize): the thread's script-object class factory.
  void (*threadStart)();
  void (*threadEnd)();
};
void ZEQInstallContainerHost(const ZEQContainerHost& host);
const ZEQContainerHost* ZEQGetContainerHost();

// The new-window request.
struct ZEQNEWWINDOWDATA {
  HWND window;
  HWND owner;
  char* templateReference;
  char* title;
  char* url;
  int32_t left, top, width, height;
  ZEQMarshaledVariant* arguments;
  char* name;
  uint32_t flags;
  uint32_t relation;
  HANDLE readyEvent;
  volatile LONG created;
  volatile LONG exists;
  ZEQContainerHolder caller;
  ZEQContainerHolder parent;
};
void ZEQNewWindowDataFree(ZEQNEWWINDOWDATA* request);
template <>
struct ZEQPayloadTraits<ZEQNEWWINDOWDATA>
    : ZEQPayloadPolicy<ZEQNEWWINDOWDATA, ZEQNewWindowDataFree, ZEQPayloadFree::ByRelease> {};
using ZEQNewWindowHolder = ZEQSharedHandle<ZEQNEWWINDOWDATA>;

// Results of ZEQCreateContainerWindow besides 0.
constexpr int kZEQReadyEventFailed = 2;
constexpr int kZEQExclusiveWindowExists = 105;

// Makes a container window. rect (left, top, width, height) may be null
// (the window then fills the maximised screen less 100 pixels each side).
// Bit WB_OWNTHREAD gives it a UI thread of its own; WB_SEPARATEDTHREAD as
// given has no effect. 0 (window in *window, 0 when creation failed), 2 when
// the ready event cannot be made, 105 when an exclusive window with the same
// name and URL exists (*window is that window). The arguments belong to the
// request from the call on.
int ZEQCreateContainerWindow(const char* templateReference, const char* title, const char* url, const RECT* rect,
                             ZEQMarshaledVariant* arguments, const char* name, uint32_t flags, uint32_t relation,
                             HWND* window, const ZEQContainerHolder& caller, const ZEQContainerHolder& parent);
// The body of the creation (on the caller's thread or on the new one).
unsigned __stdcall thZEQIBCCreate(void* packet);

int ZEQInitContainer(HWND host, const ZEQContainerHolder& container, const ZEQContainerHolder& caller,
                     const ZEQContainerHolder& parent, const char* name, const char* url,
                     ZEQMarshaledVariant* arguments, const char* loaderStyleSheet, const char* loaderExtra,
                     uint32_t options, uint32_t relation);
// 1 when linked; 0 when the container needs a parent and has none.
int ZEQLinkContainerToParent(const ZEQContainerHolder& container, const ZEQContainerHolder& caller,
                             const ZEQContainerHolder& parent);

// Asks the window's own thread to navigate the container in its body to the
// address (which becomes its start document); FALSE when the window is gone
// or the request cannot be posted.
BOOL ZEQPostContainerNavigation(HWND window, const char* url);
// The registered message behind it (lParam: a heap copy of the address,
// freed by the receiver).
UINT ZEQNavigateStartMessage();

// The UI-thread window list of a window ("KESTOUITHREADOBJ"), or null.
ZEQUIThreadWindowList* ZEQGetUIThreadList(HWND window);
// A new list holding the window, set as the window's "KESTOUITHREADOBJ".
ZEQUIThreadWindowList* ZEQNewUIThreadList(HWND window);
// Adds a window to the list of the thread that serves `from` (when it has
// one) and gives it the same property; 1 when added.
int ZEQAddUIThreadWindow(HWND from, HWND window);
// Takes the window out of its thread's list and wakes that thread's loop.
void ZEQRemoveUIThreadWindow(HWND window);
void ZEQDeleteUIThreadList(ZEQUIThreadWindowList* list);

// The exclusive-window list ("[name][url][window]" texts).
ZEQList* ZEQExclusiveWindowList();
