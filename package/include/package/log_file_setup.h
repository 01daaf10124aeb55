// What the log file takes from this library: the file operations it opens
// and closes its file with, and its size limit from the definitions.
#pragma once

class DefinitionsList;

// Installs, for every log of the process, calls that open the log file
// through the program's file operations: the folders of its path made with
// retries, and any path form (a "zeq:" path of a mounted file opens, but the
// log can write nothing into it). The start-up makes this call before it
// opens the log file.
void InstallLogFileCalls();

// "max size" of section "log": when the key is there, the log size limit
// becomes its decimal value (a text that is not a number reads as 0) and the
// result is 1; otherwise 0 and the limit stays.
int ReadLogMaxSize(DefinitionsList* definitions);
