// The shared handling of every program window procedure: after its own
// class-specific work a procedure passes the message here and returns what
// this returns. It gives all program windows the same hit codes, sizing
// limits, window events for page script, close protocol and destruction.
#pragma once
#include <windows.h>

#include <cstdint>

LRESULT ZEQCommonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Delivery of window events to the window's container (its page script).
// Posted events are queued and coalesced per name and container; asking
// events run at once on the container's thread and answer the page's code
// (ZEQACTION_CONTINUE, ZEQACTION_CANCEL, a number, 104 without a handler).
constexpr uint32_t kZEQEventPosted = 0x1;
constexpr uint32_t kZEQEventAsking = 0x200;
// Which of the container's windows receives the event.
enum class ZEQEventTarget { Host, Event };

// Raise an event without argument, with a boolean, or with an array of
// 32-bit integers (and optionally a last text item). Nothing is raised, and
// 0 answered, for a window without a container.
uint32_t ZEQRaiseWindowEvent(HWND window, const wchar_t* name, uint32_t mode, ZEQEventTarget target);
uint32_t ZEQRaiseWindowEventBool(HWND window, const wchar_t* name, bool value, uint32_t mode,
                                 ZEQEventTarget target);
uint32_t ZEQRaiseWindowEventArray(HWND window, const wchar_t* name, const int32_t* items, int count,
                                  const char* lastText, uint32_t mode, ZEQEventTarget target);
// An asking result read as a decision: cancel only for ZEQACTION_CANCEL.
inline bool ZEQEventCancels(uint32_t code) { return code == 0x2002; }

// What the window layer asks of the layers above it for windows that
// depend on each other (placement, modality): installed once by the
// container host; a missing hook does nothing.
struct ZEQWindowRelationHooks {
  // Makes the window's dependents follow it (flags of the caller).
  void (*syncDependents)(HWND window, uint32_t flags);
  // Begins or ends a modal state (mode) of the window against its owner.
  void (*setModalState)(HWND window, uint32_t mode);
};
void ZEQInstallWindowRelationHooks(const ZEQWindowRelationHooks& hooks);
const ZEQWindowRelationHooks* ZEQGetWindowRelationHooks();
