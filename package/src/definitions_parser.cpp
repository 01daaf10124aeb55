// The line grammar of definitions texts. Pure logic: files are reached only
// through the DefinitionsSource the caller gives.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/macros.h"
#include "package/text_lines.h"
#include "ascii_text.h"
#include "definitions_grammar.h"
#include "text_builder.h"

namespace {

using defsgrammar::AppendCapped;
using defsgrammar::EqualsNoCase;
using defsgrammar::MatchDirective;
using defsgrammar::StripVariableMarkers;
using defsgrammar::Trimmed;

class DefinitionsParser {
 public:
  DefinitionsParser(DefinitionsList* target, DefinitionsSource* source)
      : target_(target), source_(source) {}

  // One line without its terminator; false fails the read.
  bool Line(const char* begin, size_t length) {
    if (block_.IsOpen()) {
      if (block_.Line(begin, begin + length)) CloseBlock();
      return true;
    }
    int level = 0;
    const std::string line = defsgrammar::LeveledLine(begin, begin + length, &level);
    if (line.empty()) return true;
    bool ok = true;
    if (defsgrammar::SharedDirective(
            line, [this](const std::string& argument) { return Import(argument); },
            [this](const std::string& argument) { Language(argument); }, &ok)) {
      return ok;
    }
    if (line[0] == ':') {
      MetaLine(line.substr(1), level);
      return true;
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t valueStart = colon;
      while (valueStart < line.size() && line[valueStart] == ':') ++valueStart;
      Key(Trimmed(line.data(), line.data() + colon),
          Trimmed(line.data() + valueStart, line.data() + line.size()), level);
      return true;
    }
    Section(line, level);
    return true;
  }

  bool BlockOpen() const { return block_.IsOpen(); }

 private:
  std::string PathAtLevel(int level) const {
    return defsgrammar::PathAtLevel(sectionPath_, sectionLevel_, level);
  }

  bool VariableRegion() const { return variableLevel_ > 0; }

  void Section(std::string name, int level) {
    const bool variable = StripVariableMarkers(&name);
    std::string path = PathAtLevel(level);
    if (level == 0) {
      path.clear();
    } else {
      AppendCapped(&path, ".");
    }
    AppendCapped(&path, name);
    sectionPath_ = path;
    sectionLevel_ = level;
    if (variable) {
      if (variableLevel_ == -1 || variableLevel_ > level) variableLevel_ = level + 1;
    } else if (variableLevel_ > 0 && level < variableLevel_) {
      variableLevel_ = -1;
    }
    if (path.empty() || path.size() > kDefinitionKeyMax || IsPrivateDefinitionKey(path.c_str()))
      return;
    StoreSectionEntry(target_, path);
    if (VariableRegion()) {
      DefinitionsList* dictionary = EnsureGlobalDictionary();
      if (dictionary != target_) StoreSectionEntry(dictionary, path);
    }
  }

  // A section's own entry: a new one has no value, an existing one keeps its.
  static void StoreSectionEntry(DefinitionsList* list, const std::string& path) {
    if (!DefinitionHasKey(list, nullptr, path.c_str())) {
      DefinitionSetOwned(list, path.c_str(), nullptr, nullptr);
    }
  }

  void Key(std::string name, const std::string& value, int level) {
    const bool variable = StripVariableMarkers(&name);
    std::string key = PathAtLevel(level);
    if (!key.empty()) AppendCapped(&key, ".");
    AppendCapped(&key, name);
    if (key.size() > kDefinitionKeyMax || IsPrivateDefinitionKey(key.c_str())) return;
    if (EqualsNoCase(value, "#begin")) {
      block_.Open(name, key, variable, level);
      return;
    }
    DefinitionStoreEntry(source_ ? source_->Names() : nullptr, key.c_str(), target_,
                         StrDupExtra(value.c_str(), 0), variable || VariableRegion());
  }

  void MetaLine(const std::string& text, int level) {
    std::string counter = "[meta].";
    AppendCapped(&counter, sectionPath_);
    if (counter.size() > kDefinitionKeyMax || IsPrivateDefinitionKey(counter.c_str())) return;
    int count = 0;
    DefinitionGetInt(target_, nullptr, counter.c_str(), &count, 0);
    ++count;
    char number[16];
    snprintf(number, sizeof number, "%d", count);
    DefinitionSetValue(target_, counter.c_str(), number);
    snprintf(number, sizeof number, "%08d", count);
    Key(number, Trimmed(text.data(), text.data() + text.size()), level);
  }

  void CloseBlock() {
    DefinitionStoreEntry(source_ ? source_->Names() : nullptr, block_.Key().c_str(), target_,
                         block_.Detach(), block_.Variable() || VariableRegion());
  }

  bool Import(const std::string& argument) {
    if (!source_) return false;
    char* text = StrDupExtra(argument.c_str(), 0);
    ExpandDefinitionReferences(target_, &text, nullptr, nullptr);
    text = ProcessMacros(text, nullptr, nullptr, kMacroSystemOnly);
    const bool imported = source_->Import(text, target_);
    HeapFreeZ(text);
    return imported;
  }

  void Language(const std::string& argument) {
    if (!source_) return;
    char* text = StrDupExtra(argument.c_str(), 0);
    text = ProcessMacros(text, nullptr, nullptr, kMacroSystemOnly);
    source_->Language(text);
    HeapFreeZ(text);
  }

  DefinitionsList* target_;
  DefinitionsSource* source_;
  std::string sectionPath_;
  int sectionLevel_ = -1;
  int variableLevel_ = -1;
  defsgrammar::Block block_;
};

}  // namespace

DefinitionsList* ParseDefinitionsText(const char* text, size_t length, DefinitionsList* target,
                                      DefinitionsSource* source, bool keepOnFailure) {
  if (!text) return nullptr;
  char* buffer = static_cast<char*>(MemDup(text, length));
  size_t size = length;
  TextBufferToUtf8(&buffer, &size);
  ProcessDictionaryReferences(&buffer, &size, kDictionaryValueBytes);

  DefinitionsList* list = target ? target : DefinitionsList::Create();
  bool ok = true;
  {
    DefinitionsParser parser(list, source);
    size_t position = 0;
    const char* line;
    size_t lineLength;
    while (ok && NextTextLine(buffer, size, &position, &line, &lineLength))
      ok = parser.Line(line, lineLength);
    if (parser.BlockOpen()) ok = false;
  }
  HeapFreeZ(buffer);
  if (ok) return list;
  if (!target && !keepOnFailure) DefinitionsList::Delete(list);
  return nullptr;
}
