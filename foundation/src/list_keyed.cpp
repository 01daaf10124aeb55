// ZEQList: key comparison, linear and binary search, keyed upsert, in-place
// replacement and joining of keys.
#include <cstring>
#include <cwchar>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"

namespace {

constexpr int kNoPosition = 0x7FFFFFFF;

inline unsigned FoldAscii(unsigned c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Sign of searched key minus item key. Copied keys compare by their bytes
// within their own lengths; anything else (pointer keys, released keys)
// compares as one unsigned pointer-wide number, so an item never has its key
// word read as memory.
int CompareToItem(const void* key, uint32_t length, const ZEQListItem* item, int mode) {
  if (length > 0 && item->keyLength > 0) {
    return ZEQCompareKeyRanges(key, length, reinterpret_cast<const void*>(item->key),
                               item->keyLength, mode);
  }
  const uintptr_t a = reinterpret_cast<uintptr_t>(key);
  return a < item->key ? -1 : a > item->key ? 1 : 0;
}

// Key of a text: with the pointer-key flag the text pointer itself (length
// 0); otherwise the text with its terminator; false for a NULL or empty text.
bool TextKey(const char* text, uint32_t keyFlags, uint32_t* length) {
  if (keyFlags & ZEQLIST_POINTER_KEY) {
    *length = 0;
    return true;
  }
  if (!text || !*text) return false;
  *length = static_cast<uint32_t>(strlen(text) + 1);
  return true;
}

bool WideTextKey(const wchar_t* text, uint32_t* length) {
  if (!text || !*text) return false;
  *length = static_cast<uint32_t>((wcslen(text) + 1) * sizeof(wchar_t));
  return true;
}

}  // namespace

int ZEQCompareKeyRanges(const void* a, uint32_t aLength, const void* b, uint32_t bLength, int mode) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  // An empty key is a NULL, zero-length or empty text. A leading zero byte
  // alone does not make a key empty: a wide text whose first character has
  // a zero low byte (U+0100, U+4E00 ...) would otherwise equal every other.
  auto empty = [](const unsigned char* k, uint32_t length) {
    return !k || length == 0 || (k[0] == 0 && (length < 2 || k[1] == 0));
  };
  const bool xEmpty = empty(x, aLength);
  const bool yEmpty = empty(y, bLength);
  if (xEmpty && yEmpty) return 0;
  if (xEmpty) return y[0] ? -static_cast<int>(y[0]) : -1;
  if (yEmpty) return x[0] ? static_cast<int>(x[0]) : 1;
  const uint32_t common = aLength < bLength ? aLength : bLength;
  for (uint32_t i = 0; i < common; ++i) {
    unsigned cx = x[i];
    unsigned cy = y[i];
    if (mode == ZEQLIST_NOCASE) {
      cx = FoldAscii(cx);
      cy = FoldAscii(cy);
    }
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

int ZEQCompareKeys(uint32_t n, const void* a, const void* b, int mode) {
  return ZEQCompareKeyRanges(a, n, b, n, mode);
}

int ZEQList::Find(const void* key, uint32_t length, int mode) {
  ZEQLockGuard guard(lock);
  for (int i = 0; i < count; ++i) {
    if (CompareToItem(key, length, index[i], mode) == 0) return i;
  }
  return -1;
}

int ZEQList::FindByName(const char* text) {
  uint32_t length;
  return TextKey(text, 0, &length) ? Find(text, length, ZEQLIST_BYTES) : -1;
}

int ZEQList::FindByNameW(const wchar_t* text, int mode) {
  uint32_t length;
  return WideTextKey(text, &length) ? Find(text, length, mode) : -1;
}

int ZEQList::FindSorted(const void* key, uint32_t length, int mode, int* outPosition) {
  ZEQLockGuard guard(lock);
  if (outPosition) *outPosition = kNoPosition;
  int low = 0;
  int high = count;
  while (low <= high) {
    const int middle = (low + high) / 2;
    if (middle > count - 1) break;
    if (outPosition) *outPosition = middle;
    const int c = CompareToItem(key, length, index[middle], mode);
    if (c == 0) return middle;
    if (c > 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return -1;
}

int ZEQList::FindSortedByName(const char* text, int mode, uint32_t keyFlags) {
  uint32_t length;
  return TextKey(text, keyFlags, &length) ? FindSorted(text, length, mode, nullptr) : -1;
}

ZEQListItem* ZEQList::InsertNamed(const char* text, int position, uintptr_t value1, uintptr_t value2,
                                  uint32_t itemFlags) {
  uint32_t length;
  if (!TextKey(text, itemFlags, &length)) return nullptr;
  return Insert(text, length, position, value1, value2, itemFlags | ZEQLIST_TEXT_KEY, nullptr);
}

ZEQListItem* ZEQList::Set(const void* key, uint32_t length, uintptr_t value1, uintptr_t value2,
                          int mode, uint32_t itemFlags, ZEQListItem* item) {
  ZEQLockGuard guard(lock);
  flags |= ZEQLIST_SORTED;
  if (itemFlags & ZEQLIST_POINTER_KEY) length = 0;
  int position;
  const int found = FindSorted(key, length, mode, &position);
  if (found >= 0) return SetAt(key, length, found, value1, value2, itemFlags, item);
  // The search ends next to the insertion point: step over a smaller key.
  if (position < count && CompareToItem(key, length, index[position], mode) > 0) ++position;
  return Insert(key, length, position, value1, value2, itemFlags, item);
}

ZEQListItem* ZEQList::SetByName(const char* text, uintptr_t value1, uintptr_t value2, int mode,
                                uint32_t itemFlags) {
  uint32_t length;
  if (!TextKey(text, itemFlags, &length)) return nullptr;
  return Set(text, length, value1, value2, mode, itemFlags | ZEQLIST_TEXT_KEY, nullptr);
}

ZEQListItem* ZEQList::SetByNameW(const wchar_t* text, uintptr_t value1, uintptr_t value2, int mode) {
  uint32_t length;
  if (!WideTextKey(text, &length)) return nullptr;
  return Set(text, length, value1, value2, mode, ZEQLIST_TEXT_KEY, nullptr);
}

ZEQListItem* ZEQList::SetByPointer(uintptr_t keyWord, uintptr_t value1, uintptr_t value2) {
  return Set(reinterpret_cast<const void*>(keyWord), 0, value1, value2, 0,
             ZEQLIST_POINTER_KEY | ZEQLIST_TEXT_KEY, nullptr);
}

ZEQListItem* ZEQList::ItemAt(int at, ZEQListItem* replacement) {
  ZEQLockGuard guard(lock);
  if (!InRange(at)) return nullptr;
  ZEQListItem* old = index[at];
  if (!replacement) {
    FreeItemData(old, true);
    return old;
  }
  replacement->sequence = old->sequence;
  replacement->next = old->next;
  replacement->freeCallback = old->freeCallback;
  replacement->freeContext = old->freeContext;
  if (at > 0) {
    index[at - 1]->next = replacement;
  } else {
    head = replacement;
  }
  if (tail == old) tail = replacement;
  UpdateIndex(1, at, replacement);
  old->next = nullptr;
  FreeItemData(old, false);
  ZEQVariantArrayRecord::Delete(old);
  return replacement;
}

ZEQListItem* ZEQList::SetAt(const void* key, uint32_t length, int at, uintptr_t value1,
                            uintptr_t value2, uint32_t itemFlags, ZEQListItem* replacement) {
  ZEQLockGuard guard(lock);
  if (frozen || !InRange(at)) return nullptr;
  if (itemFlags & ZEQLIST_POINTER_KEY) length = 0;
  // The new key is copied before the old contents go: it may be the item's
  // own key.
  const uintptr_t keyWord = MakeKey(key, length);
  ZEQListItem* item = ItemAt(at, replacement);
  StoreContents(item, keyWord, length, value1, value2, itemFlags);
  item->position = (flags & ZEQLIST_SORTED) ? -1 : at;
  return item;
}

char* ZEQList::JoinKeys(char** outText, uint32_t* outLength, const char* separator, unsigned release) {
  ZEQLockGuard guard(lock);
  const size_t separatorLength = separator ? strlen(separator) : 0;
  const size_t size = keyBytes + static_cast<size_t>(count) * separatorLength + 1;
  char* text = static_cast<char*>(HeapAllocZ(size));
  size_t at = 0;
  uint32_t copied = 0;
  for (int i = 0; i < count; ++i) {
    ZEQListItem* item = index[i];
    // Only copied keys have bytes to join; a pointer key is a number.
    if (item->keyLength > 0 && item->key) {
      size_t n = (item->flags & ZEQLIST_TEXT_KEY) ? strnlen(item->KeyText(), item->keyLength)
                                                  : item->keyLength;
      if (n > size - 1 - at) n = size - 1 - at;
      memcpy(text + at, item->KeyText(), n);
      at += n;
      copied += static_cast<uint32_t>(n);
    }
    if (release & 1) FreeItemData(item, false);
    if (separatorLength && i + 1 < count && separatorLength <= size - 1 - at) {
      memcpy(text + at, separator, separatorLength);
      at += separatorLength;
    }
  }
  if (outText) *outText = text;
  if (outLength) *outLength = copied;
  return text;
}
