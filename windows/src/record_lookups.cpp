// From a window handle to its records.
#include "foundation/process_state.h"
#include "foundation/records.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

HWND loaderHost = nullptr;
HWND loaderTop = nullptr;

constexpr char kContainerProperty[] = "ZEQBASECONTAINER";
constexpr char kTopContainerProperty[] = "ZEQTOPCONTAINER";

ZEQContainerHolder FromProperty(HWND window, const char* name) {
  ZEQContainerHolder holder;
  if (!IsProcessWindow(window)) return holder;
  auto packet = static_cast<KESTOMarshalPacket*>(GetPropA(window, name));
  if (packet && KESTOMarshal::IsLocal(packet)) {
    // The packet stays with the property: a borrowing holder shares the
    // payload, and the result shares it from there.
    ZEQContainerHolder borrowed;
    borrowed.AssignFromMarshal(packet);
    holder.ShareFrom(borrowed);
  }
  return holder;
}

// The container window from `window` upwards (itself included).
HWND SearchUp(HWND window) {
  while (IsProcessWindow(window)) {
    if (GetPropA(window, kContainerProperty)) return window;
    window = GetParentWindowExt(window);
  }
  return nullptr;
}

}  // namespace

HWND ZEQLoaderHostWindow() { return loaderHost; }
HWND ZEQLoaderTopWindow() { return loaderTop; }
void ZEQSetLoaderWindows(HWND host, HWND top) {
  loaderHost = host;
  loaderTop = top;
}

HWND ZEQResolveMenuWindow(HWND window) {
  if (!IsProcessWindow(window)) return nullptr;
  if (GetPropA(window, "VMENUCONTENT")) {
    HWND parent = GetParentWindowExt(window);
    // The menu record's layout belongs to the menu code: the target window
    // follows the 65-byte tag and its serial.
    auto record = static_cast<const char*>(GetPropExt(parent, "VMENUWINDOW"));
    if (IsTaggedRecord(record, sizeof(ZEQTypedRecord) + sizeof(HWND), "+VMENUWINDOW")) {
      HWND target = *reinterpret_cast<const HWND*>(record + sizeof(ZEQTypedRecord));
      if (IsProcessWindow(target)) return target;
    }
  }
  if (window == loaderTop && loaderHost) return loaderHost;
  return window;
}

ZEQContainerHolder ZEQGetBaseContainer(HWND window) {
  return FromProperty(ZEQResolveMenuWindow(window), kContainerProperty);
}

HWND ZEQFindContainerWindow(HWND window) { return SearchUp(ZEQResolveMenuWindow(window)); }

HWND ZEQFindParentContainerWindow(HWND window) {
  HWND resolved = ZEQResolveMenuWindow(window);
  return resolved ? SearchUp(GetParentWindowExt(resolved)) : nullptr;
}

HWND ZEQGetTopContainer(HWND window) {
  HWND current = ZEQResolveMenuWindow(window);
  // Bounded: a chain of callers cannot loop for ever.
  for (int steps = 0; current && steps < 4096; ++steps) {
    if (!IsProcessWindow(current)) break;
    if (GetPropA(current, kTopContainerProperty)) return current;
    HWND parent = GetParentWindowExt(current);
    if (parent) {
      current = parent;
      continue;
    }
    // A top-level window: go on with the caller of its body's container.
    HWND body = GetDlgItem(current, kBodyWindowId);
    ZEQContainerHolder container = FromProperty(body, kContainerProperty);
    if (!container.IsSet() || !container->caller.IsSet()) break;
    current = container->caller->hostWindow;
  }
  return loaderHost;
}

bool ZEQIsTopWindow(HWND window) {
  if (!IsProcessWindow(window)) return false;
  if (window == ZEQGetMainWindow()) return true;
  ZEQContainerHolder container = FromProperty(GetDlgItem(window, kBodyWindowId), kContainerProperty);
  return container.IsSet() && (container->options & kWBLoaderWindow) != 0;
}
