// Windows INI texts read into a keyed list: one entry per section (key: the
// section name, no value) and one per key line (key: "section:name", value:
// an owned heap copy of the value text). Keys are upserted without regard to
// case, so a later line with the same key replaces the earlier value.
//
//   [Server]          section "Server"
//   host = example    "Server:host" = "example" (names and values trimmed)
//   ;note=x           "Server:;note" = "x" (there is no comment syntax)
//   k2=               ignored: a key line needs text after the '='
//
// Lines end at CR LF, at a lone CR and at a lone LF. Key lines before the
// first section, or after a section whose name is empty, are ignored. Names
// and values of any length are kept whole.
#pragma once
#include <cstddef>

class ZEQList;

// Parses a text (ANSI or UTF-8 bytes, no byte-order mark) into a new list;
// with skipAtKeys, key names beginning with '@' are not stored. Pure logic.
ZEQList* ParseINITextBuffer(const char* text, size_t length, bool skipAtKeys);

// ParseINIText: with fromFile, source is a path of any form (a real path, a
// "zeq:" path or a URL) whose file is read whole and brought to the ANSI
// code page by its byte-order mark; null when it cannot be read. Without it,
// source is the text itself. The caller deletes the list (ZEQList::Delete).
ZEQList* ParseINIText(const char* source, bool skipAtKeys, bool fromFile);
