#include "package/core_script_directives.h"

#include <cstring>
#include <memory>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/macros.h"

namespace {

struct DirectiveFamily {
  const char* path;       // below "compiler"
  const char* prefix;     // put in front of each line
  const char* terminator;  // appended to each line
  const char* separator;  // between lines
};

constexpr DirectiveFamily kVarFamily{"directives.var", "var ", ";", nullptr};
constexpr DirectiveFamily kSetFamily{"directives.cc", "@set ", "", ";"};

char* Preprocess(DefinitionsList* list, char** text, const DirectiveFamily& family) {
  ZEQList lines;
  std::unique_ptr<ZEQList, void (*)(ZEQList*)> selection(
      list ? DefinitionSelectChildren(list, "compiler", family.path, nullptr, true) : nullptr,
      ZEQList::Delete);
  // The selected keys begin with "compiler.", the family's path and '.'.
  const size_t skip = strlen("compiler.") + strlen(family.path) + 1;
  for (int i = 0; selection && i < selection->count; ++i) {
    const ZEQListItem* item = selection->GetItemAt(i);
    const char* value = reinterpret_cast<const char*>(item->value1);
    if (!value || !item->key || strlen(item->KeyText()) <= skip) continue;
    // The line grows with its parts: a long name or value is never cut.
    char* name = ProcessMacros(StrDupExtra(item->KeyText() + skip, 0), nullptr, nullptr, kMacroGrow);
    std::string line = family.prefix;
    line += name;
    HeapFreeZ(name);
    line += '=';
    line += value;
    line += family.terminator;
    lines.InsertNamed(line.c_str(), lines.count, 0, 0, ZEQLIST_TEXT_KEY);
  }
  selection.reset();
  return lines.JoinKeys(text, nullptr, family.separator, 0);
}

}  // namespace

char* PreprocessVarDirectives(DefinitionsList* list, char** text) {
  return Preprocess(list, text, kVarFamily);
}

char* PreprocessSetDirectives(DefinitionsList* list, char** text) {
  return Preprocess(list, text, kSetFamily);
}
