// DefinitionsList: keyed store, typed readers, copies, merges and child
// selections.
#include "package/definitions_list.h"

#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/definitions_defaults.h"
#include "package/skin_values.h"
#include "ascii_text.h"

namespace {

// Heap key of section and name, freed at scope end.
struct JoinedKey {
  char* text;
  JoinedKey(const char* section, const char* name) : text(MakeDefinitionKey(section, name)) {}
  ~JoinedKey() { HeapFreeZ(text); }
  JoinedKey(const JoinedKey&) = delete;
  JoinedKey& operator=(const JoinedKey&) = delete;
};

int FindKey(DefinitionsList* list, const char* key) {
  if (!list || IsEmptyString(key)) return -1;
  return list->FindSortedByName(key, ZEQLIST_BYTES, 0);
}

// The entry of section.name, or null; the caller holds the list's lock.
ZEQListItem* FindEntry(DefinitionsList* list, const char* section, const char* name) {
  JoinedKey key(section, name);
  const int at = FindKey(list, key.text);
  return at < 0 ? nullptr : list->GetItemAt(at);
}

const char* ValueOf(const ZEQListItem* item) { return reinterpret_cast<const char*>(item->value1); }

char* DupOrNull(uintptr_t text) {
  return text ? StrDupExtra(reinterpret_cast<const char*>(text), 0) : nullptr;
}

// Unsigned digits of a base from text; stops at the first other character.
unsigned long ReadDigits(const char* text, int base) {
  unsigned long value = 0;
  for (;; ++text) {
    int digit;
    const char c = *text;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * unsigned(base) + unsigned(digit);
  }
  return value;
}

}  // namespace

DefinitionsList::DefinitionsList() {
  const SystemFontDefaults fonts = CurrentSystemFontDefaults();
  DefinitionSetValue(this, "system.font.face", fonts.face);
  DefinitionSetValue(this, "system.font.height", fonts.height);
  DefinitionSetValue(this, "system.font.weight", "400");
}

char* MakeDefinitionKey(const char* section, const char* name) {
  if (IsEmptyString(section)) return StrDupExtra(name, 0);
  return HeapPrintf(0, "%s.%s", section, name ? name : "");
}

bool IsPrivateDefinitionKey(const char* key) {
  return key && (key[0] == '-' || strstr(key, ".-"));
}

bool DefinitionHasKey(DefinitionsList* list, const char* section, const char* name) {
  if (!list) return false;
  ZEQLockGuard guard(list->lock);
  return FindEntry(list, section, name) != nullptr;
}

const char* DefinitionGetValue(DefinitionsList* list, const char* section, const char* name,
                               const char* defaultValue, int* found) {
  if (found) *found = 0;
  if (!list) return defaultValue;
  ZEQLockGuard guard(list->lock);
  ZEQListItem* item = FindEntry(list, section, name);
  if (!item) return defaultValue;
  if (found) *found = 1;
  return ValueOf(item);
}

// The typed readers share one shape: the text when present, else the default.
template <typename T, typename Read>
static int ReadTyped(DefinitionsList* list, const char* section, const char* name, T* out,
                     T defaultValue, Read read) {
  int found = 0;
  const char* text = DefinitionGetValue(list, section, name, nullptr, &found);
  if (!found) {
    if (out) *out = defaultValue;
    return 0;
  }
  if (out) *out = read(text ? text : "");
  return 1;
}

int DefinitionGetBool(DefinitionsList* list, const char* section, const char* name, int* value,
                      int defaultValue) {
  return ReadTyped(list, section, name, value, defaultValue, [](const char* text) {
    return (ascii::EqualsNoCase(text, "YES") || ascii::EqualsNoCase(text, "TRUE")) ? 1 : 0;
  });
}

int DefinitionGetInt(DefinitionsList* list, const char* section, const char* name, int* value,
                     int defaultValue) {
  return ReadTyped(list, section, name, value, defaultValue, ReadDefinitionInt);
}

int DefinitionGetAlpha(DefinitionsList* list, const char* section, const char* name, int* value,
                       int defaultValue) {
  return ReadTyped(list, section, name, value, defaultValue, [](const char* text) {
    // The single-precision constant, multiplied in double precision: 100
    // gives 254, not 255.
    return static_cast<int>(atoi(text) * static_cast<double>(2.55f));
  });
}

int DefinitionGetColor(DefinitionsList* list, const char* section, const char* name,
                       uint32_t* colour, uint32_t defaultColour, int modifiers) {
  return ReadTyped(list, section, name, colour, defaultColour,
                   [modifiers](const char* text) { return SKINParseColor(text, modifiers != 0); });
}

int DefinitionGetRect(DefinitionsList* list, const char* section, const char* name, int out[4],
                      const int defaults[4]) {
  int found = 0;
  const char* text = DefinitionGetValue(list, section, name, nullptr, &found);
  if (!out) return found;
  if (!found) {
    for (int i = 0; i < 4; ++i) out[i] = defaults ? defaults[i] : 0;
    return 0;
  }
  for (int i = 0; i < 4; ++i) out[i] = 0;
  ParseRectSpec(text ? text : "", out, nullptr);
  return 1;
}

int DefinitionGetString(DefinitionsList* list, const char* section, const char* name,
                        const char* defaultValue, char* buffer, size_t size) {
  int found = 0;
  const char* text = defaultValue;
  if (list) {
    ZEQLockGuard guard(list->lock);
    ZEQListItem* item = FindEntry(list, section, name);
    if (item) {
      found = 1;
      text = ValueOf(item);
    }
    // Copied under the lock: the stored block may be replaced right after.
    if (buffer && size > 0) StrCopyN(buffer, text ? text : "", size - 1);
  } else if (buffer && size > 0) {
    StrCopyN(buffer, text ? text : "", size - 1);
  }
  return (found || defaultValue) ? 1 : 0;
}

int ReadDefinitionInt(const char* text) {
  if (!text) return 0;
  int sign = 1;
  if (*text == '-') {
    sign = -1;
    ++text;
  } else if (*text == '+') {
    ++text;
  }
  if (strchr(text, '.')) return sign * static_cast<int>(strtod(text, nullptr));
  unsigned long value;
  if (*text == 'x' || *text == 'X') {
    value = ReadDigits(text + 1, 16);
  } else if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    value = ReadDigits(text + 2, 16);
  } else if (text[0] == '0') {
    value = ReadDigits(text + 1, 8);
  } else {
    value = ReadDigits(text, 10);
  }
  return sign * static_cast<int>(value);
}

int DefinitionSetValue(DefinitionsList* list, const char* key, const char* value) {
  if (!list || IsEmptyString(key)) return 0;
  return DefinitionSetOwned(list, key, StrDupExtra(value, 0), nullptr);
}

int DefinitionSetOwned(DefinitionsList* list, const char* key, char* value, char* second) {
  if (!list || IsEmptyString(key)) {
    HeapFreeZ(value);
    HeapFreeZ(second);
    return 0;
  }
  list->SetByName(key, reinterpret_cast<uintptr_t>(value), reinterpret_cast<uintptr_t>(second),
                  ZEQLIST_BYTES, kDefinitionEntryFlags);
  return 1;
}

int DefinitionRemove(DefinitionsList* list, const char* key) {
  if (!list) return 0;
  ZEQLockGuard guard(list->lock);
  const int at = FindKey(list, key);
  return at < 0 ? 0 : list->RemoveAt(at);
}

int DefinitionRemoveTree(DefinitionsList* list, const char* key) {
  if (!list) return 0;
  ZEQLockGuard guard(list->lock);
  const int at = FindKey(list, key);
  if (at < 0) return 0;
  list->RemoveAt(at);
  const size_t n = strlen(key);
  int removed = 0;
  while (at < list->count) {
    const ZEQListItem* next = list->GetItemAt(at);
    if (!next || next->keyLength <= n || memcmp(next->KeyText(), key, n) != 0) break;
    list->RemoveAt(at);
    ++removed;
  }
  return removed;
}

void DefinitionsCopyAll(DefinitionsList* destination, DefinitionsList* source) {
  if (!destination || !source || destination == source) return;
  ZEQLockGuard guard(source->lock);
  for (int i = 0; i < source->count; ++i) {
    const ZEQListItem* item = source->GetItemAt(i);
    if (!item || !item->value1 || !item->keyLength) continue;
    destination->SetByName(item->KeyText(), reinterpret_cast<uintptr_t>(DupOrNull(item->value1)),
                           reinterpret_cast<uintptr_t>(DupOrNull(item->value2)), ZEQLIST_BYTES,
                           item->flags | ZEQLIST_VALUE1_HEAP | ZEQLIST_VALUE2_HEAP);
  }
}

void DefinitionsMerge(DefinitionsList* destination, DefinitionsList* source) {
  if (!destination || !source || destination == source) return;
  ZEQLockGuard guard(source->lock);
  const size_t markerLength = strlen(kDefinitionDeletionMarker);
  for (int i = 0; i < source->count; ++i) {
    const ZEQListItem* item = source->GetItemAt(i);
    if (!item || !item->keyLength) continue;
    const char* key = item->KeyText();
    if (strstr(key, kDefinitionDeletionMarker)) {
      char* plain = StrDupExtra(key, 0);
      // Each marker becomes the one '.' it stands for.
      for (char* at; (at = strstr(plain, kDefinitionDeletionMarker)) != nullptr;)
        memmove(at + 1, at + markerLength, strlen(at + markerLength) + 1);
      if (*plain && !IsPrivateDefinitionKey(plain)) DefinitionRemoveTree(destination, plain);
      HeapFreeZ(plain);
      continue;
    }
    char* value = item->value1 ? DupOrNull(item->value1) : StrDupExtra("", 0);
    destination->SetByName(key, reinterpret_cast<uintptr_t>(value),
                           reinterpret_cast<uintptr_t>(DupOrNull(item->value2)), ZEQLIST_BYTES,
                           item->flags | ZEQLIST_VALUE1_HEAP | ZEQLIST_VALUE2_HEAP);
  }
}

ZEQList* DefinitionSelectChildren(DefinitionsList* list, const char* section, const char* name,
                                  const char* patterns, bool allDescendants) {
  if (!list) return nullptr;
  JoinedKey prefix(section, name);
  ZEQLockGuard guard(list->lock);
  const int at = FindKey(list, prefix.text);
  if (at < 0) return nullptr;
  ZEQList* children = nullptr;
  ZEQList::Create(&children);
  const size_t n = strlen(prefix.text);
  for (int i = at + 1; i < list->count; ++i) {
    const ZEQListItem* item = list->GetItemAt(i);
    if (!item || item->keyLength <= n || memcmp(item->KeyText(), prefix.text, n) != 0) break;
    const char* rest = item->KeyText() + n;
    if (rest[0] != '.') continue;
    if (!allDescendants && strchr(rest + 1, '.')) continue;
    if (patterns && !WildcardMatchList(patterns, item->KeyText(), 0)) continue;
    ZEQListItem* copy = children->InsertNamed(item->KeyText(), children->count, item->value1,
                                              item->value2, ZEQLIST_TEXT_KEY);
    if (copy) copy->sequence = item->sequence;
  }
  return children;
}
