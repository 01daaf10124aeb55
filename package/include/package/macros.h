// Markup variables: macros written %name% in definitions, templates, skins,
// pages and script, filled from one process-wide macro table.
//
//   %name%     the value
//   %%name%%   the value escaped for a script string literal
//   #%name%    the value in lower case (ASCII letters)
//
// A macro registered with a leading '!' is a system macro; expansion can be
// limited to those. Names are matched with their case. Macros are applied in
// table order (registration order, a re-registered macro moving to the end),
// each over the whole current text, so a value that holds another macro's
// reference is expanded when that macro comes later in the table and stays
// as written when it comes earlier. Unknown macros stay as written.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>

// Macro flag (second value of a table item): a system macro.
constexpr uint32_t kMacroSystem = 0x4;

// ProcessMacros options.
constexpr unsigned kMacroGrow = 0x2;        // accepted for compatibility: every call grows
constexpr unsigned kMacroSystemOnly = 0x8;  // replace system macros only

// Sets, replaces or deletes a macro. The name is trimmed of blanks and loses
// every '%'; a leading '-' asks for a deletion, a leading '!' makes a system
// macro. A null value stores "". The macro moves to the end of the table.
// 0 for a null or empty name, else 1.
int RegisterMacro(const char* name, const char* value);

// Replaces the macros in text, a process-heap block (HeapAllocZ) that the
// call may reallocate: the result is the text pointer, moved when it was
// reallocated (the caller owns it and must forget the old one). A null or
// empty text comes back unchanged. length (optional) is read as the text's
// length (strlen when null) and receives the new length; inserted (optional)
// receives the sum of the lengths of the values inserted. The result is
// always zero-terminated; when more than 1,024 bytes were inserted the block
// is shrunk to the new length plus 3 bytes.
char* ProcessMacros(char* text, size_t* length, size_t* inserted, unsigned options);

// Sets the application's system macros from its name and version text
// ("number.release[.more] [language [version name]]"): "!%applicationname%",
// "!%applicationversion%" (the text before the first blank),
// "!%applicationversionnumber%", "!%applicationversionrelease%",
// "!%applicationversionname%" and "!%applicationlanguage%" ("en-US", or
// "pt-BR" when the language word begins with "pt-br" in any case). When the
// language code changed since the previous call and the core script (a heap
// text and its length, may be null) holds "@kestolang=", that directive's
// value up to the next ';' becomes the new code (1033 or 1046); the script
// block may be reallocated.
void SetApplicationMacros(const char* applicationName, const char* versionText,
                          char** coreScript, size_t* coreScriptLength);
// The language of the latest SetApplicationMacros: "en-US" (1033) at first.
const char* GetApplicationLanguage();
int GetApplicationLanguageCode();
// The version name of the latest SetApplicationMacros ("" at first).
const char* GetApplicationVersionName();

// A text VARIANT as a new heap text (VariantToStrDup) with its macros
// expanded and its blanks trimmed; null for other types.
char* VariantToExpandedString(const VARIANT* v);
