// The process-wide definitions lists and the path aliases.
#include <atomic>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_list.h"

namespace {

std::atomic<DefinitionsList*> globalDictionary{nullptr};
std::atomic<DefinitionsList*> startupDefinitions{nullptr};
std::atomic<DefinitionsList*> loaderDefinitions{nullptr};

}  // namespace

DefinitionsList* GetGlobalDictionary() { return globalDictionary.load(); }

DefinitionsList* EnsureGlobalDictionary() {
  DefinitionsList* current = globalDictionary.load();
  if (current) return current;
  DefinitionsList* made = DefinitionsList::Create();
  // Two first users may race: the loser's list is dropped, never published.
  if (globalDictionary.compare_exchange_strong(current, made)) return made;
  DefinitionsList::Delete(made);
  return current;
}

void SetGlobalDictionary(DefinitionsList* list) { globalDictionary.store(list); }
DefinitionsList* GetStartupDefinitions() { return startupDefinitions.load(); }
void SetStartupDefinitions(DefinitionsList* list) { startupDefinitions.store(list); }
DefinitionsList* GetLoaderDefinitions() { return loaderDefinitions.load(); }
void SetLoaderDefinitions(DefinitionsList* list) { loaderDefinitions.store(list); }

ZEQList* PathAliases() {
  // Lives for the whole process: readers may run during exit.
  static ZEQList* aliases = new ZEQList;
  return aliases;
}

bool SetPathAlias(const char* name, const char* path, uintptr_t word) {
  if (IsEmptyString(name)) return false;
  return PathAliases()->SetByName(name, reinterpret_cast<uintptr_t>(StrDupExtra(path, 0)), word,
                                  ZEQLIST_BYTES, ZEQLIST_TEXT_KEY | ZEQLIST_VALUE1_HEAP) != nullptr;
}
