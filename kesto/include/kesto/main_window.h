// The hidden main window: the process's public mailbox. Other instances
// find it by its title and send it instance commands; log lines of other
// threads, tray icons and the system (power, devices, end of session) post
// to it; its command 1000 opens the loader container.
#pragma once
#include <windows.h>

constexpr UINT_PTR kRecycleTimerId = 220;

LRESULT CALLBACK KESTOMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers "KESTO Main Window" (style 0x88); a class already registered
// counts.
bool RegisterMainWindowClass();
