// The identity of this application instance: its name, the names of the
// kernel objects it creates, the title of its hidden main window by which
// other instances find it, the section that lets one thread at a time send
// commands to another instance, and the seed of the random numbers.
#pragma once
#include <windows.h>

#include <cstdint>

// The instance's identity GUID, also part of the main window's title.
constexpr char kInstanceIdentityGuid[] = "{3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9}";
// The class of the hidden main window.
constexpr char kMainWindowClassName[] = "KESTO Main Window";

// Fills the instance name (foundation/instance_name.h) once the application
// definitions are read: the explicit instance name when one was given;
// otherwise what the buffer already holds (the application package's custom
// text); when that is empty, ".ZEQ{%04X.%04X.%04X.%04X}" of the publisher
// id, 0, the application id and the platform id.
void BuildInstanceName();

// "KESTO.<kind>.<process id, 8 hex digits>.<name>" with every backslash made
// '-', as a new heap text the caller frees. Null texts count as empty.
char* MakeKernelObjectName(const char* kind, const char* name);

// The main window's title for an instance name, as a new heap text.
char* FormatMainWindowTitle(const char* instanceName);
// The main window of the instance with exactly that name (any process), or
// null.
HWND FindMainInstanceWindow(const char* instanceName);

// Hands the window to the running instance's main window (found by this
// instance's name, cut after its ".ZEQ{...}" suffix) with CMSG_CENTERWINDOWSON
// (wParam 0, lParam the window). When there is none, centres the window over
// this process's main window, kept on the work area. Returns 1.
int KESTOPostToMainInstance(HWND window);

// The section that serialises the commands the threads of this process send
// to other instances: a named auto-reset event, signalled while the section
// is free, that stays open for the life of the process. Enter waits (pumping
// messages) at most timeout milliseconds; 1 when entered, 0 when the wait
// ended without it or the event cannot be made. Leave frees the section; 1,
// or 0 when the event cannot be made.
int EnterSendCommandSection(DWORD timeout = INFINITE);
int LeaveSendCommandSection();

// Seeds the run-time library's random numbers with the identity of the
// user, the process and the system version; returns the number that
// MakeRandomNumber gave.
uint32_t SeedRandomWithIdentity();
