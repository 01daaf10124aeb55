// Views of definitions lists for the tests.
#pragma once
#include <map>
#include <string>

#include "package/definitions_list.h"

namespace definitions_test {

// The value stored under a whole key: "<absent>" when there is no entry,
// "<null>" for an entry without a value.
inline std::string Value(DefinitionsList* list, const char* key) {
  int found = 0;
  const char* value = DefinitionGetValue(list, nullptr, key, nullptr, &found);
  if (!found) return "<absent>";
  return value ? value : "<null>";
}

using Entries = std::map<std::string, std::string>;

// Every entry except the three defaults; an entry without a value shows as
// "<section>".
inline Entries EntriesOf(DefinitionsList* list) {
  Entries entries;
  for (int i = 0; i < list->count; ++i) {
    const ZEQListItem* item = list->GetItemAt(i);
    const std::string key = item->KeyText();
    if (key.rfind("system.font.", 0) == 0) continue;
    entries[key] = item->value1 ? reinterpret_cast<const char*>(item->value1) : "<section>";
  }
  return entries;
}

}  // namespace definitions_test
