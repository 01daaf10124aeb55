// Window and container records. Every program top-level window carries a
// window record and every browser container a container record; both live
// in shared holders, so any thread can hold a counted reference, pass it
// across threads as a marshal packet and find it again from a window handle
// through window properties:
//   "ZEQWINDOWPARAM"   on a program top-level window: its parameter block;
//   "ZEQBASECONTAINER" on a container's host window: a marshal packet of
//                      the container holder;
//   "ZEQTOPCONTAINER"  the same, on the host window of a top container;
//   "HWND::ALIVEEVENT" a manual-reset event signalled when the window is
//                      destroyed.
// Properties are read only from live windows of this process. Records are
// changed only on their window's thread, except the counters.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"
#include "foundation/marshal_packet.h"
#include "foundation/records.h"
#include "foundation/shared_handle.h"
#include "foundation/variant.h"
#include "windows/skin_record.h"

// Creation flags of windows and containers (the `WB_` word).
constexpr uint32_t WB_MODAL = 0x1;
constexpr uint32_t WB_VISIBLE = 0x2;
constexpr uint32_t WB_ALLOWSRENAVIGATION = 0x4;
constexpr uint32_t WB_USESPLASH = 0x8;
constexpr uint32_t WB_CENTERONDESKTOP = 0x10;
constexpr uint32_t WB_SIZERELATIVETOCONTAINER = 0x20;
constexpr uint32_t WB_OWNTHREAD = 0x40;  // a UI thread of its own (no script name)
constexpr uint32_t WB_DONTMOVEFRAME = 0x100;
constexpr uint32_t WB_EXCLUSIVE = 0x200000;
constexpr uint32_t WB_ALLOWSSCROLLBAR = 0x400;
constexpr uint32_t WB_ALLOWSMINIMIZE = 0x1000;
constexpr uint32_t WB_ALLOWSMAXIMIZE = 0x2000;
constexpr uint32_t WB_ALLOWSFULLSCREEN = 0x8000;
constexpr uint32_t WB_ALLOWSRESIZEGRIP = 0x10000;
constexpr uint32_t WB_DENYCLOSE = 0x20000;
constexpr uint32_t WB_STARTMAXIMIZED = 0x40000;
constexpr uint32_t WB_SEPARATEDTHREAD = 0x80000;
constexpr uint32_t WB_ALLOWSZEQ = 0x100000;
constexpr uint32_t WB_STARTMINIMIZED = 0x400000;
constexpr uint32_t WB_ALLOWSTITLEICON = 0x800000;
constexpr uint32_t WB_SYSTEMAPPWINDOW = 0x2000000;
constexpr uint32_t WB_TRACKCHILDREN = 0x10000000;
constexpr uint32_t WB_ALWAYSHIDDEN = 0x40000000;
constexpr uint32_t WB_TOPWINDOW = 0x80000000;
// WB_ROOTWINDOW (0x800) and WB_MAINWINDOW (0x4000000) are declared with the
// container view of script objects (host/containers.h) and repeated here
// under the record's own names.
constexpr uint32_t kWBRootWindow = 0x800;
constexpr uint32_t kWBMainWindow = 0x4000000;
constexpr uint32_t kWBLoaderWindow = 0x80;  // WB_ZEQLOADERWINDOW

// Relation flags of a container.
constexpr uint32_t kRelationCallerFriend = 2;
constexpr uint32_t kRelationParentFriend = 4;
constexpr uint32_t kRelationNotifyParent = 8;

// Attribute flags of a window record.
constexpr uint32_t kWindowCloseRefused = 0x20;
constexpr uint32_t kWindowForcedClose = 0x40;
constexpr uint32_t kWindowBeingCreated = 0x80;
constexpr uint32_t kWindowClosing = 0x100;

// Frame flags of a window record.
constexpr uint32_t kFrameDontMove = 0x8;
constexpr uint32_t kFrameAllowMinimize = 0x10;
constexpr uint32_t kFrameAllowMaximize = 0x20;
constexpr uint32_t kFrameCloseDenied = 0x40;
constexpr uint32_t kFrameModal = 0x2000000;

// State bits of a window record.
constexpr uint32_t kRecordStateClosing = 0x100;
constexpr uint32_t kWindowDestroyedByClose = 0x200;

// Fixed child id of the body window (the container's host window).
constexpr int kBodyWindowId = 2000;

struct ZEQBASECONTAINER;
void ZEQBaseContainerDelete(ZEQBASECONTAINER* container);
template <>
struct ZEQPayloadTraits<ZEQBASECONTAINER>
    : ZEQPayloadPolicy<ZEQBASECONTAINER, ZEQBaseContainerDelete, ZEQPayloadFree::ByRelease> {};
using ZEQContainerHolder = ZEQSharedHandle<ZEQBASECONTAINER>;

struct ZEQBASEWINDOW {
  char tag[kZEQTagSize];  // "+ZEQBASEWINDOW"
  int32_t id;             // process-wide window number, first 1
  HWND window;
  HWND owner;
  HWND zOrderAnchor;
  HWND modalChild;
  HWND tooltip;
  int32_t tipElement;
  char* title;
  char* className;
  ZEQContainerHolder container;
  HANDLE uiThread;  // closed with the record
  ZEQList* closeWaiters;
  ZEQList* zOrderDependents;
  ZEQList* showDependents;
  ZEQList* moveDependents;
  ZEQList* modalDependents;
  char* alignment;
  SKINHolder skin;
  uint32_t frameFlags;
  HFONT skinFont;
  uint32_t attributes;
  uint32_t stateBits;
  int32_t flashRequest;
  int32_t captureOnShow;
  uint32_t modalState[2];
  int32_t inputLocks;
  HICON largeIcon;  // destroyed with the record
  HICON smallIcon;
  int32_t maximizedState;
  void* messageBox;
  volatile LONG denyCloseCount;  // outstanding close denials; may go below 0
  // Pointer interaction of the frame (window thread only).
  POINT dragStart;    // last left press, -1, -1 none
  POINT contextPoint; // last right press
  int32_t userSizing;
  int32_t userMoving;
};
void ZEQBaseWindowDelete(ZEQBASEWINDOW* record);
template <>
struct ZEQPayloadTraits<ZEQBASEWINDOW>
    : ZEQPayloadPolicy<ZEQBASEWINDOW, ZEQBaseWindowDelete, ZEQPayloadFree::ByRelease> {};
using ZEQWindowHolder = ZEQSharedHandle<ZEQBASEWINDOW>;

// A new window record (tag, next id, empty lists) in a new holder.
void ZEQNewWindowRecord(ZEQWindowHolder* holder, HWND window, const char* className, uint32_t frameFlags);

// The WB_ flags as the record's frame flags; other bits are dropped.
uint32_t ZEQWindowFlagsToFrameFlags(uint32_t flags);

// The value of "ZEQWINDOWPARAM".
struct ZEQWINDOWPARAM {
  ZEQWindowHolder window;
  SKINHolder skin;  // released before the record holder
  WNDPROC savedProc;
};
// The window's block, made on demand (null for a window of another process
// or a dead one).
ZEQWINDOWPARAM* ZEQEnsureWindowParamBlock(HWND window);
// Removes and frees the block (at WM_NCDESTROY).
void ZEQFreeWindowParamBlock(HWND window);
// True while the block is registered as alive (made by
// ZEQEnsureWindowParamBlock and not yet freed).
bool ZEQIsLiveWindowParamBlock(const ZEQWINDOWPARAM* block);
// Stores the record holder as the block's first holder.
void ZEQSetWindowParam(HWND window, const ZEQWindowHolder& record);

// The values a container's UI handler reads from its container.
struct ZEQBASECONTAINER {
  char tag[kZEQTagSize];  // "+ZEQBASECONTAINER"
  int32_t id;
  volatile LONG ready;
  HWND hostWindow;
  HWND eventWindow;
  ZEQContainerHolder caller;
  ZEQContainerHolder parent;
  char* startDocument;  // the first navigation's address
  ZEQMarshaledVariant* arguments;
  ZEQMarshaledVariant* closeArguments;
  char* name;
  char* loaderStyleSheet;
  char* loaderExtra;
  char* hostStyle;       // added to the site's host style text
  char* hostNamespaces;  // added to the site's namespace list
  uint32_t options;
  uint32_t navigationState;
  uint32_t relation;
  SKINHolder skin;  // the skin of the container's window
  char* defaultStateSet;
  char* maximizedStateSet;
  ZEQList* childWindows;  // under WB_TRACKCHILDREN
  ZEQList* functionLists[3];
  int32_t documentComplete;
  ZEQList* navigationList;
  IUnknown* renderer;  // the site object; released by the window teardown
  HANDLE aliveEvent;
  int32_t browserEvents;
  int32_t zoomApplied;
  int32_t zoom;
  int32_t popupBlocker;
  ZEQContainerHolder attached;
  int32_t closeRequested;
  int32_t embedded;
  int32_t detached;
  int32_t closingArgument;
  int32_t windowState[6];  // client width and height, left, top, width, height; -2 unknown
  char* title;
  char* statusText;
  int32_t browserFlags[10];  // secure lock ... visible; -2 unknown
  int32_t mouseMoveEvents;   // the page asked for mouse-move events
  int32_t maxMemoryUsage;    // kept for script
};

// Allocates and initialises a container record in a new holder: tag, next
// id, empty lists, the host window as host and event window, zoom 100, the
// browser state words -2. The holder stays empty when allocation fails.
void ZEQBaseContainerInit(ZEQContainerHolder* holder, HWND hostWindow);

// Look-ups from a window handle (a live window of this process; anything
// else yields an empty holder or 0).
ZEQWindowHolder ZEQGetWindowParam(HWND window);
HWND ZEQResolveMenuWindow(HWND window);
ZEQContainerHolder ZEQGetBaseContainer(HWND window);
HWND ZEQFindContainerWindow(HWND window);
HWND ZEQFindParentContainerWindow(HWND window);
// The host window of the nearest top container; the loader host window
// when there is none.
HWND ZEQGetTopContainer(HWND window);

// Sets a window property to a marshal packet of the holder (freeing the
// packet already there); removes it with an empty holder.
void ZEQSetContainerProperty(HWND window, const char* name, const ZEQContainerHolder& container);

void ZEQSetContainerArguments(const ZEQContainerHolder& container, ZEQMarshaledVariant* arguments);
void ZEQSetContainerCloseArguments(const ZEQContainerHolder& container, ZEQMarshaledVariant* arguments);

// Tests (each takes its holder by value).
bool ZEQIsValidWindowParam(ZEQWindowHolder record);
bool ZEQIsValidContainer(ZEQContainerHolder container);
bool ZEQIsContainerReady(ZEQContainerHolder container);
// The main window (foundation/process_state.h), or a window whose body container is a loader window.
bool ZEQIsTopWindow(HWND window);

// The loader's windows, set when the loader container is made.
HWND ZEQLoaderHostWindow();
HWND ZEQLoaderTopWindow();
void ZEQSetLoaderWindows(HWND host, HWND top);

// The free callback of keyed lists whose values are container packets.
int ZEQContainerListItemFree(ZEQListItem* item, uintptr_t context);
