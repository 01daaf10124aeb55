// DefinitionsList: the in-memory form of a definitions file, a sorted keyed
// list whose text keys are whole dotted paths ("window.title.font"),
// compared byte by byte with their terminator, so keys are case-sensitive and
// a section's own entry sorts directly before its children. Each entry's
// first value is its text (a heap block the list owns; null for a section
// entry without a value); the second value, when present, is the value as
// it was written before references were expanded.
//
// Every operation holds the list's own lock for its whole duration. A value
// text returned by a read is the stored block itself and stays valid only
// until its entry is replaced or removed.
//
// Keyed operations take a section and a name joined as "section.name" (the
// name alone for an empty section).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/list.h"

// Ownership flags of an entry made by the definitions code: text key, both
// values owned.
constexpr uint32_t kDefinitionEntryFlags = ZEQLIST_TEXT_KEY | ZEQLIST_VALUE1_HEAP | ZEQLIST_VALUE2_HEAP;

// Longest whole key (and section path) the readers store; a line whose key
// would be longer is not stored.
constexpr size_t kDefinitionKeyMax = 1024;

class DefinitionsList : public ZEQList {
 public:
  // An empty list with the default entries "system.font.face",
  // "system.font.height" and "system.font.weight".
  DefinitionsList();
  static DefinitionsList* Create() { return new DefinitionsList; }
  static void Delete(DefinitionsList* list) { delete list; }
};

// "section.name", or the name alone for an empty section (new heap text).
char* MakeDefinitionKey(const char* section, const char* name);
// A key is private when it begins with '-' or holds a component that does
// (".-"); private keys are never stored by the readers.
bool IsPrivateDefinitionKey(const char* key);

bool DefinitionHasKey(DefinitionsList* list, const char* section, const char* name);
// The stored value (null for a section entry) and *found = 1; or the default
// and *found = 0. found may be null.
const char* DefinitionGetValue(DefinitionsList* list, const char* section, const char* name,
                               const char* defaultValue, int* found);
// Present: *value = 1 for "YES" or "TRUE" (any case), else 0; result 1.
// Absent: *value = the default; result 0. The same shape for the readers
// below.
int DefinitionGetBool(DefinitionsList* list, const char* section, const char* name, int* value,
                      int defaultValue);
// The text read by ReadDefinitionInt.
int DefinitionGetInt(DefinitionsList* list, const char* section, const char* name, int* value,
                     int defaultValue);
// The text's leading decimal integer times 2.55 (single precision),
// truncated: a percentage as an alpha byte ("100" gives 254, "50" 127).
int DefinitionGetAlpha(DefinitionsList* list, const char* section, const char* name, int* value,
                       int defaultValue);
// SKINParseColor of the text with the given modifier flag.
int DefinitionGetColor(DefinitionsList* list, const char* section, const char* name,
                       uint32_t* colour, uint32_t defaultColour, int modifiers);
// ParseRectSpec of the text, no reference rectangle; absent: the defaults.
int DefinitionGetRect(DefinitionsList* list, const char* section, const char* name, int out[4],
                      const int defaults[4]);
// The value, or the default when absent, copied into buffer[size] (cut and
// terminated); result 1 when a value or a non-null default was found (copied
// only when a buffer is given), 0 otherwise.
int DefinitionGetString(DefinitionsList* list, const char* section, const char* name,
                        const char* defaultValue, char* buffer, size_t size);

// Integer texts: an optional sign; a text holding '.' is a decimal fraction
// truncated toward zero; "x" or "0x" introduce hexadecimal digits, another
// leading '0' octal digits, anything else is decimal. Reading stops at the
// first character that is not a digit of the base ("0x1F" 31, "017" 15,
// "x10" 16, "-2.9" -2).
int ReadDefinitionInt(const char* text);

// Inserts or replaces the entry under the whole key with a heap copy of the
// value (null stores ""); result 1, 0 for a null or empty key.
int DefinitionSetValue(DefinitionsList* list, const char* key, const char* value);
// Inserts or replaces the entry taking ownership of both blocks (either may
// be null). A null or empty key stores nothing, frees the blocks and gives 0.
int DefinitionSetOwned(DefinitionsList* list, const char* key, char* value, char* second);
// Removes the entry; 0 when absent.
int DefinitionRemove(DefinitionsList* list, const char* key);
// Removes the entry with exactly this key, then every entry after it whose
// key begins with the same bytes (a.b also removes a.b.c, a.b-x and a.bc).
// Returns how many were removed after the first; nothing when the key is
// absent.
int DefinitionRemoveTree(DefinitionsList* list, const char* key);
// Copies every source entry that has a value (key, copies of both values,
// the source's flags) into the destination.
void DefinitionsCopyAll(DefinitionsList* destination, DefinitionsList* source);
// Deletion marker inside a key: '.', 0x01, "--".
constexpr char kDefinitionDeletionMarker[] = ".\x01--";
// For each source entry in order: a key holding deletion markers, with each
// marker turned into '.', removes that tree from the destination (unless the
// plain key is empty or private); any other entry is copied as by
// DefinitionsCopyAll, a missing value as "".
void DefinitionsMerge(DefinitionsList* destination, DefinitionsList* source);
// The entries below the key section.name (direct children only, unless
// allDescendants) whose whole key matches the pattern list (WildcardMatchList;
// null matches all), in key order, as a new ZEQList: copied keys, values
// shared with the source (not owned), sequence numbers kept. Null when the
// entry section.name itself does not exist. Delete with ZEQList::Delete.
ZEQList* DefinitionSelectChildren(DefinitionsList* list, const char* section, const char* name,
                                  const char* patterns, bool allDescendants);

// ---------------------------------------------------------------------------
// Process-wide lists. The slots are replaced without freeing what they held
// (a reader may still use it), so a list once published stays valid.

// The dictionary read by %[[key]]% references; null until made or loaded.
DefinitionsList* GetGlobalDictionary();
// The dictionary, made (with its default entries) when there is none.
DefinitionsList* EnsureGlobalDictionary();
void SetGlobalDictionary(DefinitionsList* list);
// The lists read from the start-up and loader definitions files.
DefinitionsList* GetStartupDefinitions();
void SetStartupDefinitions(DefinitionsList* list);
DefinitionsList* GetLoaderDefinitions();
void SetLoaderDefinitions(DefinitionsList* list);

// Path aliases ("loader", "system", protocol names ...): a sorted list, keys
// compared byte-wise, first value the folder (owned heap text), second value
// the caller's word.
ZEQList* PathAliases();
// Inserts or replaces an alias with a heap copy of the path; false for a
// null or empty name.
bool SetPathAlias(const char* name, const char* path, uintptr_t word);
