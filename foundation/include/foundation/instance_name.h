// The instance name: the text that tells this application instance apart
// from the others started from the same executable. It names the browser
// option keys, the hidden main window's title and per-instance kernel
// objects. The container host forms it at start-up; mounting an application
// package writes the package's custom text into it.
//
// Plain process-wide data without a lock: it is written on the main thread
// during start-up, before other threads read it.
#pragma once
#include <cstddef>

// Characters the instance name holds; the buffer has one more for the NUL.
constexpr size_t kZEQInstanceNameMax = 519;

// The process-wide buffer of kZEQInstanceNameMax + 1 bytes, always
// terminated.
char* ZEQInstanceNameBuffer();
// Copies the text (null: "") into the buffer, cut at kZEQInstanceNameMax
// characters.
void ZEQSetInstanceName(const char* text);

// The explicit instance name given at start-up (the option "id"); "" when
// none was given. Kept cut at kZEQInstanceNameMax characters.
const char* ZEQGetExplicitInstanceName();
void ZEQSetExplicitInstanceName(const char* text);
