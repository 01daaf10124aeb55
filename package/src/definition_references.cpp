// @@name definition references, %[[key]]% dictionary references and the
// storing step of the definitions readers.
#include "package/definition_references.h"

#include <cstring>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "text_builder.h"

namespace {

bool IsNameDelimiter(unsigned char c) {
  static const char kDelimiters[] = " ,;:!?@()=+*#$%&\"'\r\n\t[]<>{}\\/|~^`\xB4\xA8";
  return c == 0 || memchr(kDelimiters, c, sizeof kDelimiters - 1) != nullptr;
}

// The value stored under a whole key when it is a non-empty text, else null;
// the caller holds the list's lock.
const char* NonEmptyValue(DefinitionsList* list, const char* key, bool* present) {
  const int at = list->FindSortedByName(key, ZEQLIST_BYTES, 0);
  *present = at >= 0;
  if (at < 0) return nullptr;
  const char* value = reinterpret_cast<const char*>(list->GetItemAt(at)->value1);
  return value && *value ? value : nullptr;
}

const char* FindPair(const char* text, size_t from, size_t length, char a, char b) {
  for (size_t i = from; i + 1 < length; ++i)
    if (text[i] == a && text[i + 1] == b) return text + i;
  return nullptr;
}

// Replaces the caller's text by the built one.
void Publish(HeapTextBuilder& out, char** text, size_t* length) {
  const size_t n = out.length();
  HeapFreeZ(*text);
  *text = out.Detach();
  if (length) *length = n;
}

}  // namespace

int ExpandDefinitionReferences(DefinitionsList* list, char** text, char** copy, size_t* length) {
  if (!list || !text || !*text) return 0;
  const char* t = *text;
  const size_t n = length ? *length : strlen(t);
  HeapTextBuilder out;
  size_t copied = 0;  // bytes of t already in out or replaced
  size_t from = 0;
  bool replaced = false;
  int result = 0;
  ZEQLockGuard guard(list->lock);
  while (const char* at = FindPair(t, from, n, '@', '@')) {
    const size_t start = size_t(at - t);
    const size_t nameStart = start + 2;
    size_t nameEnd = nameStart;
    while (nameEnd < n && !IsNameDelimiter(static_cast<unsigned char>(t[nameEnd]))) ++nameEnd;
    size_t spanEnd = nameEnd;
    // A closing "@@" right after the name belongs to the reference.
    if (nameEnd + 1 < n && t[nameEnd] == '@' && t[nameEnd + 1] == '@') spanEnd = nameEnd + 2;
    // A full stop after the name is punctuation, not part of it.
    size_t cut = nameEnd;
    while (cut > nameStart && t[cut - 1] == '.') --cut;
    if (spanEnd == nameEnd) spanEnd = cut;
    if (cut == nameStart) {
      from = nameStart;
      continue;
    }
    char* name = static_cast<char*>(MemDup(t + nameStart, cut - nameStart));
    bool present = false;
    const char* value = NonEmptyValue(list, name, &present);
    HeapFreeZ(name);
    if (!present) {
      result = 2;
      break;
    }
    if (!value) {
      from = spanEnd;
      continue;
    }
    out.Append(t + copied, start - copied);
    out.Append(value, strlen(value));
    copied = from = spanEnd;
    replaced = true;
  }
  if (!replaced) return result;
  out.Append(t + copied, n - copied);
  if (copy) *copy = static_cast<char*>(MemDup(t, n));
  Publish(out, text, length);
  return result;
}

int ProcessDictionaryReferences(char** text, size_t* length, int mode) {
  DefinitionsList* dictionary = GetGlobalDictionary();
  if (!dictionary || !text || !*text) return 1;
  const char* t = *text;
  const size_t n = length ? *length : strlen(t);
  HeapTextBuilder out;
  size_t copied = 0;
  size_t from = 0;
  bool replaced = false;
  ZEQLockGuard guard(dictionary->lock);
  while (const char* at = FindPair(t, from, n, '%', '[')) {
    const size_t start = size_t(at - t);
    from = start + 2;
    size_t keyStart;
    if (from < n && t[from] == '[') {
      keyStart = from + 1;
    } else if (from + 1 < n && strchr("dtn$", t[from]) && t[from] && t[from + 1] == '[') {
      keyStart = from + 2;
    } else {
      continue;
    }
    const char* close = nullptr;
    for (size_t i = keyStart; i + 2 < n; ++i) {
      if (t[i] == ']' && t[i + 1] == ']' && t[i + 2] == '%') {
        close = t + i;
        break;
      }
    }
    if (!close) continue;
    char* key = static_cast<char*>(MemDup(t + keyStart, size_t(close - t) - keyStart));
    bool present = false;
    const char* value = NonEmptyValue(dictionary, key, &present);
    HeapFreeZ(key);
    if (!value) continue;
    char* converted = mode == kDictionaryValueAnsi ? Utf8ToAnsiDup(value, 0) : nullptr;
    const char* insert = converted ? converted : value;
    out.Append(t + copied, start - copied);
    out.Append(insert, strlen(insert));
    HeapFreeZ(converted);
    copied = from = size_t(close - t) + 3;
    replaced = true;
  }
  if (!replaced) return 1;
  out.Append(t + copied, n - copied);
  Publish(out, text, length);
  return 1;
}

int DefinitionStoreEntry(const DefinitionsSourceNames* names, const char* key,
                         DefinitionsList* list, char* value, bool variable) {
  char* written = nullptr;
  if (value) ExpandDefinitionReferences(list, &value, &written, nullptr);
  if (value && names) {
    const char* meta = nullptr;
    if (strcmp(value, "@meta.file.name") == 0) meta = names->fileName;
    if (strcmp(value, "@meta.file.parent.name") == 0) meta = names->parentName;
    if (meta) {
      HeapFreeZ(value);
      value = StrDupExtra(meta, 0);
    }
  }
  if (IsEmptyString(key) || !list) {
    HeapFreeZ(value);
    HeapFreeZ(written);
    return 0;
  }
  char* valueCopy = variable && value ? StrDupExtra(value, 0) : nullptr;
  char* writtenCopy = variable && written ? StrDupExtra(written, 0) : nullptr;
  DefinitionSetOwned(list, key, value, written);
  DefinitionsList* dictionary = variable ? EnsureGlobalDictionary() : nullptr;
  if (dictionary && dictionary != list) {
    DefinitionSetOwned(dictionary, key, valueCopy, writtenCopy);
  } else {
    HeapFreeZ(valueCopy);
    HeapFreeZ(writtenCopy);
  }
  return 1;
}
