// Window messages registered once, by static initialisation, and shared by
// every subsystem.
#pragma once
#include <windows.h>

// A log line of another thread for the main window (lParam: the posted
// record, see ZEQLogHandlePostedLine).
extern const UINT CMSG_KESTOASYNCHLOG;
// Registered for other instances and plug-ins that look for it; no sender.
extern const UINT CMSG_SLEEPWML;
// A timer of the timer thread fired at a window (lParam: the ZEQTimer,
// carrying one reference for the receiver).
extern const UINT CMSG_ZEQTIMER;
// The blink phase (wParam) for a blinking behavior (lParam).
extern const UINT CMSG_ZEQBLINK;
// The timer thread's own tick and its stop.
extern const UINT CMSG_ZEQTIMERTHREADMSG;
extern const UINT CMSG_ZEQDESTROYTIMER;
// Handled by container windows (no sender), and a UI thread's container is
// ready.
extern const UINT CMSG_ATTACHZEQCONTAINER;
extern const UINT CMSG_ATTACHEDZEQCONTAINER;
// Registered, no user.
extern const UINT CMSG_ZEQINTERFACETHREAD;
// A call of a script interface registered by another thread.
extern const UINT CMSG_ZEQINVOKEEX;
// A cross-thread script call for the window's page (lParam: an auto-free
// marshal packet of the call item).
extern const UINT CMSG_ZEQINVOKEINTERFACE;
// Asks the running instance's main window to centre a window (lParam) on
// its screen; wParam: the centring flags.
extern const UINT CMSG_CENTERWINDOWSON;

// The container host's and the window layer's messages. Their names are
// system-wide, so every instance of the program agrees on the numbers.
// Posted to every top-level window by the host object: running instances' main
// windows raise "ZEQOnKESTOBroadcastNotification" (wParam, lParam: script's values).
extern const UINT CMSG_KESTONOTIFY_SYSTEMBROADCAST;
// A list-view behavior asks its window to show a popup menu.
extern const UINT CMSG_SHOWPOPUPMENU;
// Sent by message-box controls; no window procedure tests for it.
extern const UINT CMSG_REFRESHMENU;
// Destroys the receiving window on its own thread (wParam 0, lParam 0).
extern const UINT CMSG_DESTROYWND;
// Asks a program window to close.
extern const UINT CMSG_CLOSEWINDOW;
// Re-lays out the child windows of a "KESTO Window".
extern const UINT CMSG_ADJUSTWINDOWCHILDREN;
// Script text run later by a container's body window.
extern const UINT CMSG_EXECUTEASYNCHSCRIPT;
// A travel-log step for a container's body window.
extern const UINT CMSG_ZEQWBHISTORY;
// A navigation request (lParam) for a container's body window.
extern const UINT CMSG_ZEQVBCNAVIGATEASYNCH;
// A container's start navigation (lParam: a heap copy of the address).
extern const UINT CMSG_ZEQNAVIGATESTART;
// Handled by container body windows; nothing of the program sends it.
extern const UINT CMSG_REDRAWWINDOW;
// The callback message of every tray icon: wParam the icon record, lParam
// the mouse message; the main window forwards it.
extern const UINT CMSG_NOTIFICATIONAREADUMMY;
// A tray icon's mouse message forwarded to its container's window.
extern const UINT CMSG_NOTIFICATIONAREA;
// An instance command for the main window: wParam the size of the command
// block, lParam the command id.
extern const UINT CMSG_KESTONOTIFY;
// Toggles the debug output window (wParam 1).
extern const UINT CMSG_KESTOHOTKEY;
// Container body windows: zoom, print, print preview, page set-up.
extern const UINT CMSG_ZEQIBCZOOM;
extern const UINT CMSG_ZEQIBCPRINT;
extern const UINT CMSG_ZEQIBCPRINTPREVIEW;
extern const UINT CMSG_ZEQIBCSHOWPAGESETUP;
// Handled by container body windows; nothing of the program sends them.
extern const UINT CMSG_WEBBROWSERSCROLLTO;
extern const UINT CMSG_ZEQSCOPEDOBJECT_THCONSTRUCTOR;
// Posted to the main window: the previous run did not close its log.
extern const UINT CMSG_KESTOLASTSESSIONNOTPROPERLYCLOSED;
// Makes a container's browser the active one (wParam 0, lParam 1).
extern const UINT CMSG_SETACTIVEIESERVER;
// A named-pipe command for the main window (wParam: the message holder's id).
extern const UINT CIPCMsgBaseOnCommand;
// The shell's app-bar notifications, and an app bar's position request.
extern const UINT CMSG_APPBAR;
extern const UINT CMSG_APPBARSETPOSITION;
// The microphone was refused (wParam passed on to script).
extern const UINT CMSG_KESTOMICACCESSDENIED;
// Winsock's socket notifications of the network and SIP sockets (wParam the
// socket, low word of lParam the event), posted to the notification window.
extern const UINT CMSG_WSA_SIPTCP_EVENTMESSAGE;
