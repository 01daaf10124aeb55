// The loader: the first document of a browser container, and the
// pre-processing of every script and markup text served through "zeq:".
//
// A loader is an HTML page (navigated to as it is), a script ("js" or
// "zeq": wrapped into a generated page held in memory and served from a
// virtual "\load\mm\" address), or, for a container that asks for it, the
// page text itself. Pre-processing implements the small loader-script
// language: "@exit", "@noclose", "@import" directives and the
// "<ZEQ:Initialize" tag; then dictionary references and macros, and the
// run-time information block.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Container option flags read here.
constexpr uint32_t WB_ZEQLOADERWINDOW = 0x80;
constexpr uint32_t WB_USEADDRESSASCODE = 0x8000000;

// Pre-processor options.
constexpr uint32_t kPreprocessNested = 0x8;      // an imported file
constexpr uint32_t kPreprocessAsHtml = 0x40;     // imports go in as markup
constexpr uint32_t kPreprocessAsScript = 0x80;   // imports go in as script
constexpr uint32_t kPreprocessStatements = 0x200;  // apply "@exit" and "@noclose"
constexpr uint32_t kPreprocessGivenText = 0x400;   // the caller gives the text
// What the callers pass: a loaded document, the core script text, a file
// read from its path.
constexpr uint32_t kPreprocessDocument = 0x600;
constexpr uint32_t kPreprocessCoreScript = 0x408;

// The address the container navigates to for a loader, as a new
// process-heap text the caller owns; NULL for a NULL loader or a script
// loader that cannot be read. options are the option flags the container is
// being made with; container, when not NULL, is the window of the container
// whose own option flags decide the "zeq:" prefix (WB_ZEQLOADERWINDOW).
char* ZEQPrepareLoaderDocument(const char* loader, uint32_t options, HWND container);

// Pre-processes *text (a process-heap text of *length bytes, which may move
// to a new block) as the content of path. Without kPreprocessGivenText the
// file at path is read into *text first (a block already there is freed).
// 1 on success; 0 on failure, the partly processed text staying with the
// caller.
// An inline or recursive import of a file that is already being
// pre-processed on this thread (an import cycle), or one nested deeper than
// 32 files, is refused with a log line and handled as a missing file: the
// call fails unless the directive says "nofail".
int ZEQPreprocessContent(const char* path, char** text, size_t* length, uint32_t options);

// The last loader script that ZEQPrepareLoaderDocument wrapped into a page:
// the content pre-parser wraps the next download of that path once into the
// loader block. TakeLastLoaderScriptIfMatches answers true and empties the
// record when the path equals it (ignoring case).
void SetLastLoaderScriptPath(const char* path);
bool TakeLastLoaderScriptIfMatches(const char* path);
