// Expansion of the paths that application authors write: environment
// strings, path aliases ("media:\ring.wav"), paths relative to the loader,
// and the markup variables of script arguments.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstddef>

// *path is a process-heap text that may be reallocated (the variable then
// holds the new block). capacity is the caller's idea of the block's size;
// the block is grown to whatever the expansion needs in any case.
//
// Environment strings are expanded first (always). Then a path alias may
// replace the text (TRUE). Otherwise a path that is still relative is
// completed: one that starts with a single separator from the definitions
// entry "loader" of the start-up definitions (the loader's folder), its
// separators made uniform after the first character; any other against the
// base folder (none: not completed) and normalised. TRUE when a relative
// form was completed or an alias expanded. A leading "zeq:" stays in front
// of a completed path.
BOOL ExpandLoaderRelativePath(char** path, size_t capacity, const char* baseFolder);

// A path written "alias:rest" (optionally behind "zeq:") becomes the
// alias's folder from PathAliases followed by the rest; only that leading
// alias is replaced, the rest is left as written. The separator after the colon decides
// the folder's separators ('\' or '/'; doubled when written doubled, as in
// script source). "zeq:" is removed from an expanded path. With
// expandEnvironment, environment strings are expanded first. 1 when an alias
// was expanded, else 0.
int ExpandPathAliases(char** path, size_t capacity, int expandEnvironment);

// A script argument as a path: the VARIANT's text (a reference followed)
// with room for extra bytes, its macros replaced, expanded as above without
// a base folder, and with normalise set, normalised in place; the room for
// extra bytes is kept after the result. NULL when the VARIANT holds no text.
char* VariantToExpandedPath(const VARIANT* v, size_t extra, BOOL normalise);
