// The wait of an asynchronous shell-execute: a worker thread tells the
// calling container's page that the started program runs
// ("ZEQOnShellExecuteInitialize": verb, file, parameters, folder, show
// command, flags), waits for it to end without blocking any window and
// reports its end ("ZEQOnShellExecuteFinalize": 0, the same six values and
// the exit code; or 2 and the six values when the wait failed). A handler of
// the first event that answers false asks for neither the wait nor the
// final event. An event goes only to a container that is still ready.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

constexpr size_t kShellExecuteTextSize = 513;

struct ShellExecuteStartRecord {
  HWND window;       // a window of the calling container
  HANDLE process;    // the started program, closed by the worker
  char verb[kShellExecuteTextSize];
  char file[kShellExecuteTextSize];
  char parameters[kShellExecuteTextSize];
  char folder[kShellExecuteTextSize];
  uint32_t showCommand;
  uint32_t flags;    // the script's flags, passed through unchanged
  VARIANT* value;    // a heap VARIANT or null, cleared and freed by the worker
};

// A new zero-filled record (HeapAllocZ) for the starter to fill.
ShellExecuteStartRecord* NewShellExecuteStartRecord();
// Frees a record the worker never took: closes the process handle, clears
// and frees the VARIANT.
void FreeShellExecuteStartRecord(ShellExecuteStartRecord* record);

// Starts the worker for the record, which from then on is the worker's.
// The thread's handle (closed by the caller, who may also wait on it), or
// null when no thread was made: the record then is still the caller's.
HANDLE StartShellExecuteWaitThread(ShellExecuteStartRecord* record);
