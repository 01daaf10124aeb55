// Keyboard input for a page reaches the browser's own accelerator handling
// (Tab, arrows, Enter, the browser's shortcuts) before the message loop
// translates and dispatches it. ZEQInstallBrowserContainers installs this as
// the message loops' pre-translation.
#pragma once
#include <windows.h>

// 0 when the message was consumed (by the page's browser, or by
// IsDialogMessageA of the dialog window when one is given), 1 when the loop
// is to translate and dispatch it. Only keyboard messages aimed at an
// "Internet Explorer_Server" window of a ready container are offered to the
// browser.
BOOL ZEQPreTranslateBrowserMessage(MSG* message, HWND dialog);
// One message through the pre-translation, then translated and dispatched
// unless consumed.
void ZEQTranslateDispatchMessage(MSG* message, HWND dialog);
