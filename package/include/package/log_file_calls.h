// The log file opened through the program's file operations: the folders
// of its path made with retries, and any path form (a "zeq:" path of a
// mounted file opens, but the log can write nothing into it).
#pragma once

// Installs the calls for every log of the process; the start-up makes this
// call before it opens the log file.
void InstallLogFileCalls();
