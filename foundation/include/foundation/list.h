// ZEQList: the ordered, lockable list of keyed items behind every registry
// and most tables of the system. It serves as a queue (insert at head or
// tail, walk by index), as a keyed table searched linearly, and as a sorted
// table kept in key order by upserts and searched by halving. Every
// operation takes the list's own recursive lock; free callbacks run under it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/records.h"
#include "foundation/variant_blocks.h"

struct ZEQListItem;
// Called as callback(item, context) when the item's contents are released,
// instead of freeing the values by the ownership bits; the result is ignored.
typedef int (*ZEQListFreeCallback)(ZEQListItem* item, uintptr_t context);

// Item ownership flags.
constexpr uint32_t ZEQLIST_VALUE1_HEAP = 0x00000002;  // HeapFree the first value
constexpr uint32_t ZEQLIST_VALUE1_BSTR = 0x00000004;  // SysFreeString the first value
constexpr uint32_t ZEQLIST_VALUE2_HEAP = 0x00000008;
constexpr uint32_t ZEQLIST_VALUE2_BSTR = 0x00000010;
constexpr uint32_t ZEQLIST_TEXT_KEY = 0x10000000;     // key is text, length counts the NUL
constexpr uint32_t ZEQLIST_POINTER_KEY = 0x80000000;  // key word stored as is, compared as a number

// List flag: kept in key order (set by the first upsert, cleared by a reset).
constexpr uint32_t ZEQLIST_SORTED = 0x40000000;

// Key comparison modes.
constexpr int ZEQLIST_NOCASE = 0;  // ASCII letters folded
constexpr int ZEQLIST_BYTES = 1;   // unsigned bytes

constexpr uint32_t kZEQListIndexStep = 512;
constexpr char kZEQListItemTag[] = "+LLITEM";

struct ZEQListItem {
  ZEQTypedRecord header;  // "+LLITEM", serial 0
  uint32_t sequence;      // the list's sequence counter when inserted
  ZEQListItem* next;
  ZEQListFreeCallback freeCallback;
  uintptr_t freeContext;
  int32_t position;      // index at insertion, -1 in a sorted list
  uintptr_t key;         // copied key block, or the pointer key itself
  uint32_t keyLength;    // bytes of the copied key; 0 for a pointer key
  DWORD tick;            // GetTickCount at insertion or replacement
  uint32_t flags;        // ownership flags
  uintptr_t value1;
  uintptr_t value2;
  uint32_t released;  // contents already handed back: a second release skips them
  ZEQVariantArray16 variants;

  const char* KeyText() const { return reinterpret_cast<const char*>(key); }
};

// Item seen as a record of VARIANTs.
struct ZEQVariantArrayRecord {
  static void ClearVariants(ZEQListItem* item);
  // Clears the VARIANTs, makes the tag unrecognisable and frees the item.
  static void Delete(ZEQListItem* item);
};

class ZEQList;
struct ZEQListHolder {
  ZEQList* list;
};

class ZEQList {
 public:
  ZEQListItem** index;     // item pointers in list order
  uint32_t capacity;       // entries the index holds; always above count
  ZEQListItem* head;
  ZEQListItem* tail;
  int32_t count;
  uint32_t keyBytes;       // sum of the items' key lengths
  uint32_t sequence;       // last sequence number given
  uint32_t closed;         // refuse insertions
  uint32_t busy;           // positional reads give nothing
  uint32_t frozen;         // refuse in-place replacement
  CRITICAL_SECTION* lock;
  uint32_t flags;

  ZEQList() { Init(); }
  ~ZEQList();
  ZEQList(const ZEQList&) = delete;
  ZEQList& operator=(const ZEQList&) = delete;

  // Construction and destruction.
  static ZEQList** Create(ZEQList** slot);
  // As Create, but an allocation failure stores NULL instead of throwing.
  static ZEQList** New(ZEQList** slot);
  // Lock and reset for a list record in zeroed memory that was not constructed.
  void Init();
  // Empty state with a fresh 512-entry index; only for a new or cleared list.
  void Reset();
  // Releases every item and the index; without final the list is reset for reuse.
  void Clear(bool final);
  static void Delete(ZEQList* list);
  // Deletes the list held in the slot and empties the slot.
  static void DeleteAt(ZEQList** slot);
  static void DeleteHolder(ZEQListHolder* holder);
  static ZEQListItem* NewItem();

  // Search: index or -1.
  int Find(const void* key, uint32_t length, int mode);
  int FindByName(const char* text);
  int FindByNameW(const wchar_t* text, int mode);
  // Binary search; outPosition receives the last index compared (0x7FFFFFFF
  // when none was).
  int FindSorted(const void* key, uint32_t length, int mode, int* outPosition);
  int FindSortedByName(const char* text, int mode, uint32_t keyFlags);

  // Insertion and update: the item, or NULL when refused.
  ZEQListItem* Insert(const void* key, uint32_t length, int position, uintptr_t value1,
                      uintptr_t value2, uint32_t flags, ZEQListItem* item);
  ZEQListItem* InsertEx(const void* key, uint32_t length, int position, uintptr_t value1,
                        uintptr_t value2, uint32_t flags, ZEQListItem* item) {
    return Insert(key, length, position, value1, value2, flags, item);
  }
  ZEQListItem* InsertNamed(const char* text, int position, uintptr_t value1, uintptr_t value2,
                           uint32_t flags);
  static ZEQListItem* InsertByPointer(ZEQList** slot, uintptr_t keyWord, int position,
                                      uintptr_t value1, uintptr_t value2, uint32_t flags);
  // Keyed upsert: replaces the contents of the item with an equal key, or
  // inserts before the first larger key; marks the list sorted.
  ZEQListItem* Set(const void* key, uint32_t length, uintptr_t value1, uintptr_t value2, int mode,
                   uint32_t flags, ZEQListItem* item);
  ZEQListItem* SetByName(const char* text, uintptr_t value1, uintptr_t value2, int mode,
                         uint32_t flags);
  ZEQListItem* SetByNameW(const wchar_t* text, uintptr_t value1, uintptr_t value2, int mode);
  ZEQListItem* SetByPointer(uintptr_t keyWord, uintptr_t value1, uintptr_t value2);
  // Replaces the contents (or, with a replacement item, the item) at an index;
  // keeps the sequence number and the free callback.
  ZEQListItem* SetAt(const void* key, uint32_t length, int index, uintptr_t value1,
                     uintptr_t value2, uint32_t flags, ZEQListItem* replacement);
  // Without a replacement: releases the contents of the item at the index and
  // returns it, still linked. With one: the replacement takes the old item's
  // sequence number, next pointer and free callback and its place in the
  // chain and the index; the old item is released and freed.
  ZEQListItem* ItemAt(int index, ZEQListItem* replacement);

  // Reading and removal.
  // The item (wantItem) or its key word; 0 while busy or out of range.
  uintptr_t GetAt(int index, bool wantItem);
  ZEQListItem* GetItemAt(int index) { return reinterpret_cast<ZEQListItem*>(GetAt(index, true)); }
  uintptr_t GetValueAt(int index);
  static uintptr_t GetValueAtIndirect(ZEQList** slot, int index);
  int RemoveAt(int index);
  // Removes the item with the given pointer key; 0 when not found.
  static int Remove(ZEQList** slot, uintptr_t keyWord);
  // All keys joined into a new heap text (separators between items); the
  // length counts key bytes only. Bit 0 of release: release each item's
  // contents after its key was copied.
  char* JoinKeys(char** outText, uint32_t* outLength, const char* separator, unsigned release);
  // The list's own (recursive) lock.
  void Lock() { EnterCriticalSection(lock); }
  void Unlock() { LeaveCriticalSection(lock); }
  BOOL TryLock() { return TryEnterCriticalSection(lock); }
  static void LockIndirect(ZEQList** slot);
  static void UnlockIndirect(ZEQList** slot);

  // Releases an item's contents: the free callback, or the owned values by the
  // ownership bits (once per stored contents); with variants its VARIANTs;
  // its copied key.
  void FreeItemData(ZEQListItem* item, bool variants);
  // Index maintenance: mode 1 set, 2 insert, 3 delete (count follows).
  void UpdateIndex(int mode, int index, ZEQListItem* item);

 private:
  void Grow(int32_t needed);
  // The stored key word: a zero-terminated heap copy for a length above 0.
  static uintptr_t MakeKey(const void* key, uint32_t length);
  void StoreContents(ZEQListItem* item, uintptr_t key, uint32_t length, uintptr_t value1,
                     uintptr_t value2, uint32_t flags);
  void ReleaseDetached(ZEQListItem* chain);
  bool InRange(int i) const { return i >= 0 && i < count; }
};

ZEQListItem* LLAddItemFlagged(ZEQList** slot, uintptr_t keyWord, uintptr_t value1, uintptr_t value2);

// Non-NULL, a whole item of writable memory and tagged "+LLITEM".
bool IsListItem(const void* pointer);

// Comparison of n bytes of two keys: a NULL or empty (first byte 0) key
// sorts first; mode 0 folds ASCII letters, other modes compare unsigned bytes.
int ZEQCompareKeys(uint32_t n, const void* a, const void* b, int mode);
// The same for keys of their own lengths: after an equal common part the
// shorter key sorts first. Reads no byte beyond either key.
int ZEQCompareKeyRanges(const void* a, uint32_t aLength, const void* b, uint32_t bLength, int mode);
