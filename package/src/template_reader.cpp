#include "template_reader.h"

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definition_references.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/package_log.h"
#include "package/skin_readers.h"
#include "package/templates.h"
#include "package/text_lines.h"
#include "definitions_grammar.h"

using defsgrammar::AppendCapped;
using defsgrammar::EqualsNoCase;
using defsgrammar::MatchDirective;
using defsgrammar::StripVariableMarkers;
using defsgrammar::Trimmed;

namespace {

constexpr char kClassSection[] = "#class";

void DeleteDefinitions(DefinitionsList* list) { DefinitionsList::Delete(list); }

struct DeclaredClass {
  SKINHolder skin;
  std::string name;
};

class TemplateReader {
 public:
  TemplateReader(uintptr_t context, const char* path, TemplateSource* source)
      : context_(context), path_(path ? path : ""), source_(source) {}

  // One line without its terminator; false fails the read.
  bool Line(const char* begin, size_t length) {
    ++lineNumber_;
    if (block_.IsOpen()) {
      if (block_.Line(begin, begin + length)) StoreEntry(block_.Key(), block_.Detach(), nullptr);
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
    const bool dash = line[0] == '-';
    std::string argument;
    if (MatchDirective(line, "extend", &argument)) {
      if (dash) {
        EndClass();
      } else {
        Extend(argument);
      }
      return true;
    }
    if (MatchDirective(line, "define", &argument)) {
      if (dash) {
        EndClass();
        return true;
      }
      return Define(argument);
    }
    if (!definitions_) return true;
    // "%[^:]%[:]%[^\r\n]": a name, colons, then a value.
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
      size_t valueStart = colon;
      while (valueStart < line.size() && line[valueStart] == ':') ++valueStart;
      if (valueStart < line.size()) {
        Key(Trimmed(line.data(), line.data() + colon), Trimmed(line.data() + valueStart, line.data() + line.size()),
            level, line);
        return true;
      }
    }
    return Section(line, level);
  }

  bool BlockOpen() const { return block_.IsOpen(); }

  // Steps after the last line: extensions, inheritance, references and the
  // skin of every class declared here.
  bool Finish() {
    for (DeclaredClass& c : classes_) {
      for (const std::string& name : {path_ + c.name, c.name}) {
        if (DefinitionsList* extension = FindTemplateExtension(name.c_str()))
          DefinitionsCopyAll(c.skin->definitions, extension);
      }
    }
    for (DeclaredClass& c : classes_) {
      ZEQBASESKIN* skin = c.skin.Get();
      DefinitionsList* merged = DefinitionsList::Create();
      for (const SKINHolder* base : {&skin->parentClass, &skin->secondBase}) {
        if (base->IsSet() && (*base)->definitions) DefinitionsMerge(merged, (*base)->definitions);
      }
      DefinitionsMerge(merged, skin->definitions);
      DefinitionsList::Delete(skin->definitions);
      skin->definitions = merged;
    }
    for (DeclaredClass& c : classes_) {
      if (!ResolveClassReferences(c.skin->definitions, c.name.c_str(), c.skin)) return false;
      if (!SKINReadWindowDefinition(c.skin.Get())) return false;
    }
    return true;
  }

 private:
  std::string PathAtLevel(int level) const { return defsgrammar::PathAtLevel(sectionPath_, sectionLevel_, level); }

  void EndClass() {
    definitions_ = nullptr;
    sectionPath_.clear();
    sectionLevel_ = -1;
    variableLevel_ = -1;
  }

  void StartDefinitions(DefinitionsList* list) {
    definitions_ = list;
    sectionPath_ = kClassSection;
    sectionLevel_ = 0;
    variableLevel_ = -1;
  }

  bool Define(const std::string& declaration) {
    SKINHolder skin = DeclareTemplateClass(declaration.c_str(), context_, path_.c_str());
    if (!skin.IsSet()) return false;
    DefinitionsList* list = DefinitionsList::Create();
    skin->definitions = list;
    skin->deleteDefinitions = DeleteDefinitions;
    classes_.push_back({skin, SKINText(skin->className)});
    StartDefinitions(list);
    DefinitionSetOwned(list, kClassSection, nullptr, nullptr);
    return true;
  }

  void Extend(const std::string& argument) {
    std::string name = Trimmed(argument.data(), argument.data() + argument.size());
    if (name.find_first_of("\\/:") != std::string::npos) {
      char* path = ProcessMacros(StrDupExtra(name.c_str(), kSkinPathMax + 1), nullptr, nullptr, kMacroGrow);
      ExpandLoaderRelativePath(&path, strlen(path) + kSkinPathMax + 1, nullptr);
      char* normalized = SmartNormalizePath(path);
      HeapFreeZ(path);
      name = normalized ? normalized : "";
      HeapFreeZ(normalized);
    }
    DefinitionsList* list = DefinitionsList::Create();
    SetTemplateExtension(name.c_str(), list);
    StartDefinitions(list);
  }

  bool Import(std::string argument) {
    argument = Trimmed(argument.data(), argument.data() + argument.size());
    bool mayFail = false;
    const size_t nofail = argument.find(" nofail");
    if (nofail != std::string::npos) {
      argument.erase(nofail, strlen(" nofail"));
      mayFail = true;
    }
    const bool imported = source_ && source_->Import(argument.c_str());
    if (!imported && !mayFail) {
      PackageLogPrintf("ParseTemplateFile: [FAILED] - Import failed: \"%s\"", argument.c_str());
      return false;
    }
    return true;
  }

  void Language(const std::string& argument) {
    if (!source_) return;
    char* text = ProcessMacros(StrDupExtra(argument.c_str(), 0), nullptr, nullptr, kMacroSystemOnly);
    TrimAndUnquote(text);
    source_->Language(text);
    HeapFreeZ(text);
  }

  void Key(std::string name, const std::string& value, int level, const std::string& line) {
    StripVariableMarkers(&name);
    const std::string section = PathAtLevel(level);
    if (section.empty()) return;
    std::string key = section;
    AppendCapped(&key, ".");
    AppendCapped(&key, name);
    if (key.size() > kDefinitionKeyMax || IsPrivateDefinitionKey(key.c_str())) return;
    if (EqualsNoCase(value, "#begin")) {
      block_.Open(name, key, false, level);
      return;
    }
    char* second = nullptr;
    if (!value.empty() && value[0] == '@') second = HeapPrintf(0, "Line: %d - \"%s\"", lineNumber_, line.c_str());
    StoreEntry(key, StrDupExtra(value.c_str(), 0), second);
  }

  void StoreEntry(const std::string& key, char* value, char* second) {
    if (!definitions_) {
      HeapFreeZ(value);
      HeapFreeZ(second);
      return;
    }
    DefinitionSetOwned(definitions_, key.c_str(), value, second);
  }

  bool Section(std::string name, int level) {
    if (level == 0) {
      PackageLogPrintf("ParseTemplateFile: [FAILED] - Section outside its class at line %d", lineNumber_);
      return false;
    }
    const bool variable = StripVariableMarkers(&name);
    std::string path = PathAtLevel(level);
    AppendCapped(&path, ".");
    AppendCapped(&path, name);
    sectionPath_ = path;
    sectionLevel_ = level;
    if (variable) {
      if (variableLevel_ == -1 || variableLevel_ > level) variableLevel_ = level + 1;
    } else if (variableLevel_ > 0 && level < variableLevel_) {
      variableLevel_ = -1;
    }
    if (path.size() > kDefinitionKeyMax) return true;
    if (IsPrivateDefinitionKey(path.c_str())) {
      // "--name" marks the inherited section for deletion.
      if (name.compare(0, 2, "--") == 0) {
        std::string marker;
        for (size_t i = 0; i < path.size(); ++i) {
          if (path.compare(i, 3, ".--") == 0) {
            marker += kDefinitionDeletionMarker;
            i += 2;
          } else {
            marker += path[i];
          }
        }
        DefinitionSetOwned(definitions_, marker.c_str(), nullptr, nullptr);
      }
      return true;
    }
    if (!DefinitionHasKey(definitions_, nullptr, path.c_str())) DefinitionSetOwned(definitions_, path.c_str(), nullptr, nullptr);
    if (variableLevel_ > 0) {
      DefinitionsList* dictionary = EnsureGlobalDictionary();
      if (dictionary != definitions_ && !DefinitionHasKey(dictionary, nullptr, path.c_str()))
        DefinitionSetOwned(dictionary, path.c_str(), nullptr, nullptr);
    }
    return true;
  }

  uintptr_t context_;
  std::string path_;
  TemplateSource* source_;
  DefinitionsList* definitions_ = nullptr;
  std::string sectionPath_;
  int sectionLevel_ = -1;
  int variableLevel_ = -1;
  int lineNumber_ = 0;
  defsgrammar::Block block_;
  std::vector<DeclaredClass> classes_;
};

}  // namespace

int ReadTemplateText(uintptr_t context, const char* normalizedPath, const char* text, size_t length,
                     TemplateSource* source) {
  if (!text) return 0;
  char* buffer = static_cast<char*>(MemDup(text, length));
  size_t size = length;
  TextBufferToUtf8(&buffer, &size);
  ProcessDictionaryReferences(&buffer, &size, kDictionaryValueBytes);
  bool ok = true;
  try {
    TemplateReader reader(context, normalizedPath, source);
    size_t position = 0;
    const char* line;
    size_t lineLength;
    while (ok && NextTextLine(buffer, size, &position, &line, &lineLength)) ok = reader.Line(line, lineLength);
    if (ok && reader.BlockOpen()) {
      PackageLogPrintf("ParseTemplateFile: [FAILED] - Text ends inside a block: \"%s\"", normalizedPath);
      ok = false;
    }
    if (ok) ok = reader.Finish();
  } catch (...) {
    HeapFreeZ(buffer);
    throw;
  }
  HeapFreeZ(buffer);
  return ok ? 1 : 0;
}
