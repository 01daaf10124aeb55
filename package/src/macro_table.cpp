// The process-wide macro table: registration and expansion.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "package/macros.h"
#include "ascii_text.h"
#include "text_builder.h"

namespace {

// Unsorted, in registration order; lives for the whole process.
ZEQList* MacroTable() {
  static ZEQList* table = new ZEQList;
  return table;
}

// Heap text freed at scope end.
struct HeapText {
  char* text = nullptr;
  HeapText() = default;
  explicit HeapText(char* t) : text(t) {}
  ~HeapText() { HeapFreeZ(text); }
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
};

const char* FindBytes(const char* text, size_t from, size_t length, const char* key, size_t k) {
  if (k == 0 || length < k) return nullptr;
  for (size_t i = from; i + k <= length; ++i) {
    const char* hit = static_cast<const char*>(memchr(text + i, key[0], length - k + 1 - i));
    if (!hit) return nullptr;
    if (memcmp(hit, key, k) == 0) return hit;
    i = size_t(hit - text);
  }
  return nullptr;
}

// One macro's three insertable forms; the escaped and lower-case ones are
// made when first needed.
class MacroForms {
 public:
  MacroForms(const char* key, const char* value)
      : key_(key), k_(strlen(key)), value_(value ? value : ""), v_(strlen(value_)) {}

  const char* key() const { return key_; }
  size_t keyLength() const { return k_; }
  size_t valueLength() const { return v_; }

  // The span of the occurrence at p (at least `from`, the end of the previous
  // replacement) and what replaces it.
  void Resolve(const char* text, size_t length, size_t from, size_t p, size_t* spanStart,
               size_t* spanEnd, const char** insert, size_t* insertLength) {
    const bool before = p > from;
    if (before && text[p - 1] == '%' && p + k_ < length && text[p + k_] == '%') {
      Escaped();
      *spanStart = p - 1;
      *spanEnd = p + k_ + 1;
      *insert = escaped_.text;
      *insertLength = escapedLength_;
    } else if (before && text[p - 1] == '#') {
      Lower();
      *spanStart = p - 1;
      *spanEnd = p + k_;
      *insert = lower_.text;
      *insertLength = v_;
    } else {
      *spanStart = p;
      *spanEnd = p + k_;
      *insert = value_;
      *insertLength = v_;
    }
  }

 private:
  void Escaped() {
    if (escaped_.text) return;
    const size_t growth = EscapeScriptString(const_cast<char*>(value_), true);
    escaped_.text = StrDupExtra(value_, growth);
    EscapeScriptString(escaped_.text, false);
    escapedLength_ = v_ + growth;
  }
  void Lower() {
    if (lower_.text) return;
    lower_.text = StrDupExtra(value_, 0);
    for (char* c = lower_.text; *c; ++c) *c = ascii::Lower(*c);
  }

  const char* key_;
  size_t k_;
  const char* value_;
  size_t v_;
  HeapText escaped_;
  size_t escapedLength_ = 0;
  HeapText lower_;
};

// Rebuilds text[length] with every occurrence of one macro replaced, into
// out; false (out untouched) when the macro does not occur. inserted grows by
// the value's length per occurrence.
bool ApplyMacro(MacroForms& macro, const char* text, size_t length, HeapTextBuilder& out,
                size_t* inserted) {
  const char* hit = FindBytes(text, 0, length, macro.key(), macro.keyLength());
  if (!hit) return false;
  out.Clear();
  out.Reserve(length);
  size_t copied = 0;  // end of the previous replacement
  while (hit) {
    size_t start, end, insertLength;
    const char* insert;
    macro.Resolve(text, length, copied, size_t(hit - text), &start, &end, &insert, &insertLength);
    out.Append(text + copied, start - copied);
    out.Append(insert, insertLength);
    *inserted += macro.valueLength();
    copied = end;
    hit = FindBytes(text, copied, length, macro.key(), macro.keyLength());
  }
  out.Append(text + copied, length - copied);
  return true;
}

}  // namespace

int RegisterMacro(const char* name, const char* value) {
  if (IsEmptyString(name)) return 0;
  HeapText key(StrDupExtra(name, 2));
  TrimBlanks(key.text);
  StrReplaceChar(key.text, '%', '\0');
  bool deletion = false;
  uint32_t flags = 0;
  if (key.text[0] == '-') {
    deletion = true;
    StrDeleteFirstChar(key.text);
  }
  if (key.text[0] == '!') {
    flags = kMacroSystem;
    StrDeleteFirstChar(key.text);
  }
  // A name made only of blanks and markers would turn every "%%" into a
  // macro reference.
  if (!key.text[0]) return 0;
  StrPrepend("%", key.text);
  strcat(key.text, "%");

  ZEQList* table = MacroTable();
  ZEQLockGuard guard(table->lock);
  const int at = table->FindByName(key.text);
  if (at >= 0) table->RemoveAt(at);
  if (!deletion) {
    table->InsertNamed(key.text, table->count, reinterpret_cast<uintptr_t>(StrDupExtra(value, 0)),
                       flags, ZEQLIST_VALUE1_HEAP);
  }
  return 1;
}

char* ProcessMacros(char* text, size_t* length, size_t* inserted, unsigned options) {
  if (inserted) *inserted = 0;
  if (!text || !*text) return text;
  size_t currentLength = length ? *length : strlen(text);
  size_t total = 0;
  // The caller's block stays untouched until the end, so an allocation
  // failure on the way leaves it whole. Each macro with occurrences rebuilds
  // the text from one buffer into the other.
  HeapTextBuilder current, next;
  bool changed = false;
  {
    ZEQList* table = MacroTable();
    ZEQLockGuard guard(table->lock);
    for (int i = 0; i < table->count; ++i) {
      const ZEQListItem* item = table->GetItemAt(i);
      if (!item || !item->keyLength) continue;
      if ((options & kMacroSystemOnly) && !(item->value2 & kMacroSystem)) continue;
      MacroForms macro(item->KeyText(), reinterpret_cast<const char*>(item->value1));
      const char* source = changed ? current.data() : text;
      if (!ApplyMacro(macro, source, currentLength, next, &total)) continue;
      current.Swap(next);
      currentLength = current.length();
      changed = true;
    }
  }
  if (length) *length = currentLength;
  if (inserted) *inserted = total;
  if (!changed) return text;
  char* result = current.Detach();
  // A text that grew much keeps no slack.
  if (total > 1024) {
    result = static_cast<char*>(HeapReAllocZ(result, currentLength + 3));
    memset(result + currentLength, 0, 3);
  }
  HeapFreeZ(text);
  return result;
}

char* VariantToExpandedString(const VARIANT* v) {
  char* text = VariantToStrDup(v, 0);
  if (!text) return nullptr;
  if (*text) text = ProcessMacros(text, nullptr, nullptr, kMacroGrow);
  TrimBlanks(text);
  return text;
}
