// The core script: the JScript text every page runs on top of, held once
// per process. It is read from the file that the start-up definitions name
// ("kesto"."core script") or, without one, from the executable's resource
// "IDR_KESTOJSCORE" of type "KESTOJSCORE" (plain text), pre-processed, and
// prefixed with the conditional-compilation variables that let page script
// test the host (type, language, mode) plus the definitions' own
// "compiler.directives.cc" and "compiler.directives.var" entries.
#pragma once
#include <cstddef>

// 1 when the buffer holds the core script (already or now); 0 when it could
// not be read or pre-processed (the buffer stays as it was).
int KESTOLoadCoreScript();

// A new process-heap copy of the core script (the caller frees it) and its
// length; null while none is loaded.
char* KESTOCopyCoreScript(size_t* length);

// Sets the application's macros from its name and version text
// (SetApplicationMacros); when the language changes, the "@kestolang="
// value of a loaded core script follows it.
void KESTOApplyApplicationMacros(const char* applicationName, const char* versionText);

// Frees the buffer (at shutdown); the next load reads the script again.
void KESTOFreeCoreScript();
