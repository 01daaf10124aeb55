// The named pipe "\\.\pipe\<IPC identifier>" by which other processes find
// this instance alive. Connections are accepted and closed again: the pipe's
// command texts are not served yet, so no client is ever told a command ran.
#pragma once
#include <windows.h>

// Starts the server thread and waits (at most 5 s) until its first pipe
// instance exists; false when it did not come up.
bool StartPipeServer(const char* identifier);
// Asks the server thread to end and waits for it (bounded).
void StopPipeServer();
