// The one way the container tells the user it cannot go on.
#pragma once
#include <cstdint>

// Logs "KESTOError: Description: "%s", Code: %08X", shows a system-modal box
// (caption "<application name> - Erro durante execução...", the code as
// "KESTO.%04X" of its low 16 bits, the description and the URL when given,
// and the support advice) and ends the process through KESTOTerminate when
// fatal or when the user did not choose OK; returns 1 only for a non-fatal
// error the user accepted.
//
// The process then ends with the code's low 16 bits as its exit code (0xFFFF
// when those are 0), so a failed start is never mistaken for success.
// With the environment variable ZEQ_UNATTENDED set (not empty) no box is
// shown: its caption and text go to the log and the call acts as if the box
// was closed without OK.
int KESTOError(const char* description, uint32_t code, const char* url, int fatal);

// The box's caption and text, macros expanded, as new heap texts the caller
// frees (HeapFreeZ).
void FormatErrorBox(const char* description, uint32_t code, const char* url, char** caption, char** body);

// The exit code of a fatal error.
uint32_t ErrorExitCode(uint32_t code);
