// The window state commands every program window shares, whatever asks for
// them (the system command, a double click on the caption, a frame button
// of the skin, script): minimise, maximise or restore, a close request and
// the window menu. The page may refuse each with an asking "before" event
// and hears the outcome in a posted "after" event. App bars are never
// minimised, maximised or restored by them.
#pragma once
#include <windows.h>

// Needs frame flag kFrameAllowMinimize; "ZEQOnBeforeMinimizeWindow" /
// "ZEQOnAfterMinimizeWindow" when events is set.
void ZEQMinimizeWindowCommand(HWND window, bool events);
// A minimised or maximised window is restored ("ZEQOnBeforeRestoreWindow",
// "ZEQOnAfterRestoreWindow"); a normal one is maximised when
// kFrameAllowMaximize is set ("ZEQOnBeforeMaximizeWindow",
// "ZEQOnAfterMaximizeWindow").
void ZEQToggleMaximizeWindow(HWND window, bool events);
// SC_RESTORE: a minimised or maximised window toggles back; any other is
// minimised (both with events).
void ZEQRestoreWindowCommand(HWND window);
// The frame's close button and the keyboard: unless the close is denied,
// asks "ZEQOnCloseWindow" (only ZEQACTION_CONTINUE, true, or a page
// without the handler lets it go on), then posts a user close.
void ZEQRequestCloseWindow(HWND window);
// Raises "ZEQOnShowWindowMenu"; the system menu is never shown.
void ZEQShowWindowMenu(HWND window);

// The user-input gate of mouse presses: 1 accepted, 0 refused.
BOOL ZEQCheckUserInput(HWND window);
// No parameter block, or no input lock held on the record.
bool ZEQWindowAcceptsInput(HWND window);
// False when the window, or else its container window, carries
// "ZEQDISABLEUSERINPUT".
bool ZEQInputNotDisabled(HWND window);
bool ZEQCanTakeUserInput(HWND window);

// Posts script text (trimmed; empty text posts nothing and answers 0) to
// a container's window as CMSG_EXECUTEASYNCHSCRIPT (wParam a heap copy
// that the receiver frees, lParam 1).
BOOL ZEQPostScriptCommand(const char* text, HWND target);
