// The runtime's share of the process-wide state. The container host fills it
// at start-up and empties it at exit; the runtime reads it from any thread.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Application state: an unsigned 32-bit value, always compared unsigned.
constexpr uint32_t kZEQAppRunning = 0;
constexpr uint32_t kZEQAppClosing = 1;          // a cooperative close has begun
constexpr uint32_t kZEQAppWindowsClosing = 3;   // every program window was asked to close
constexpr uint32_t kZEQAppFinalTeardown = 4;    // the user interface is being torn down
constexpr uint32_t kZEQAppProcessEnding = 0x80000000u;
// From this state on, waits give up instead of blocking the shutdown.
constexpr uint32_t kZEQAppShutdown = 2;

uint32_t ZEQGetApplicationState();
void ZEQSetApplicationState(uint32_t state);
inline bool ZEQIsShuttingDown() { return ZEQGetApplicationState() >= kZEQAppShutdown; }

// The hidden main window: log lines of other threads are posted to it.
HWND ZEQGetMainWindow();
void ZEQSetMainWindow(HWND window);

// The host's message-loop hook: gets every message a loop of the runtime
// takes, with the loop's dialog window (or 0); non-zero means the message
// must still be translated and dispatched. Without a hook, a message is
// offered to IsDialogMessageA when a dialog window is given.
using ZEQPreTranslateHook = BOOL (*)(MSG* message, HWND dialog);
// Returns the previous hook; null restores the default.
ZEQPreTranslateHook ZEQSetPreTranslateHook(ZEQPreTranslateHook hook);
BOOL ZEQPreTranslateMessage(MSG* message, HWND dialog);

// The log file's limit in bytes: a write that finds the file larger first
// empties it. 0xFFFFFFFF (the default) means no limit.
uint32_t ZEQGetLogSizeLimit();
void ZEQSetLogSizeLimit(uint32_t bytes);

// The application banner every log-file entry repeats (where the executable
// lives and the version line); set once at start-up, empty until then.
constexpr size_t kZEQApplicationBannerMax = 2047;
const char* ZEQGetApplicationBanner();
// Cut to kZEQApplicationBannerMax characters.
void ZEQSetApplicationBanner(const char* text);

// The exit code of the process, set by script.
UINT ZEQGetExitCode();
void ZEQSetExitCode(UINT code);

// The instance-identity mutex, when this process holds one: the immediate
// exit closes it. Returns the previous one.
HANDLE ZEQSetInstanceMutex(HANDLE mutex);

// The immediate exit: closes the instance-identity mutex, marks the process
// as ending, closes the global log with its "[CLOSED]" entry and ends the
// process with the exit code. No teardown runs.
[[noreturn]] void KESTOTerminate();
