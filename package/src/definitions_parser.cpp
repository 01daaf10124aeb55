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
#include "text_builder.h"

namespace {

using ascii::IsBlank;

bool EqualsNoCase(const std::string& a, const char* b) {
  return ascii::EqualsNoCase(a.data(), a.size(), b);
}

std::string Trimmed(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  return std::string(begin, end);
}

constexpr size_t kPathCap = kDefinitionKeyMax + 1;

// Appends what fits below the path cap.
void AppendCapped(std::string* path, const std::string& part) {
  if (path->size() < kPathCap) path->append(part, 0, kPathCap - path->size());
}

// "%name%" loses its markers and counts as a variable.
bool StripVariableMarkers(std::string* name) {
  if (name->size() < 2 || name->front() != '%' || name->back() != '%') return false;
  *name = name->substr(1, name->size() - 2);
  return true;
}

// The scanf-like patterns "%*[set]word...": a run of at least one character
// of set at the start, then word. The position after the word, or npos.
size_t MatchWord(const std::string& line, const char* set, const char* word) {
  size_t at = 0;
  while (at < line.size() && line[at] && strchr(set, line[at])) ++at;
  if (at == 0 || line.compare(at, strlen(word), word) != 0) return std::string::npos;
  return at + strlen(word);
}

// "%*[- \t@]word %[^\r\n]": the word, optional white space, then an argument
// of at least one character.
bool MatchDirective(const std::string& line, const char* word, std::string* argument) {
  size_t at = MatchWord(line, "- \t@", word);
  if (at == std::string::npos) return false;
  while (at < line.size() && line[at] && strchr(" \t\v\f", line[at])) ++at;
  if (at >= line.size()) return false;
  *argument = line.substr(at);
  return true;
}

class DefinitionsParser {
 public:
  DefinitionsParser(DefinitionsList* target, DefinitionsSource* source)
      : target_(target), source_(source) {}

  // One line without its terminator; false fails the read.
  bool Line(const char* begin, size_t length) {
    if (blockOpen_) {
      BlockLine(begin, begin + length);
      return true;
    }
    const char* end = begin + length;
    int level = 0;
    while (begin < end && IsBlank(*begin)) level += *begin++ == '\t';
    while (end > begin && IsBlank(end[-1])) --end;
    if (begin == end) return true;
    const std::string line(begin, end);
    const bool dash = line[0] == '-';
    std::string argument;
    if (MatchDirective(line, "import", &argument)) return dash || Import(argument);
    if (MatchDirective(line, "language", &argument)) {
      if (!dash) Language(argument);
      return true;
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

  bool BlockOpen() const { return blockOpen_; }

 private:
  // The section path brought to a line's level (see the language's levels).
  // Paths are held to one character more than a stored key may have: a path
  // that long gives keys too long to store, whatever is cut from or added to
  // its end, and a hostile text cannot make every line copy a huge path.
  std::string PathAtLevel(int level) const {
    std::string path = sectionPath_;
    if (level > sectionLevel_) {
      AppendCapped(&path, std::string(std::min(size_t(level - sectionLevel_ - 1), kPathCap), '.'));
    } else if (!(level == 0 && sectionLevel_ == 0)) {
      // Cut before the level-th dot (the first for level 0 and 1).
      size_t dot = std::string::npos;
      for (int i = 0, n = level < 1 ? 1 : level; i < n; ++i) {
        dot = path.find('.', dot == std::string::npos ? 0 : dot + 1);
        if (dot == std::string::npos) break;
      }
      if (dot != std::string::npos) path.resize(dot);
    }
    return path;
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
      blockOpen_ = true;
      blockName_ = name;
      blockKey_ = key;
      blockVariable_ = variable;
      blockTabs_ = level;
      block_.Clear();
      block_.Reserve(1024);
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

  void BlockLine(const char* begin, const char* end) {
    size_t run = 0;
    int tabs = 0;
    while (begin + run < end && IsBlank(begin[run])) tabs += begin[run++] == '\t';
    const std::string raw(begin, end);
    const bool dash = begin + run < end && begin[run] == '-';
    // "%*[- \t#]end%[^\r\n]": the end line names the block it closes.
    const size_t after = dash ? std::string::npos : MatchWord(raw, "- \t#", "end");
    if (after != std::string::npos && after < raw.size() &&
        EqualsNoCase(Trimmed(raw.data() + after, raw.data() + raw.size()), blockName_.c_str())) {
      CloseBlock();
      return;
    }
    // The indentation removed is bounded by the previous line's TABs.
    const size_t removed = blockTabs_ > 0 && size_t(blockTabs_) < run ? size_t(blockTabs_) : run;
    block_.Append(begin + removed, size_t(end - begin) - removed);
    block_.Append("\r\n", 2);
    blockTabs_ = tabs;
  }

  void CloseBlock() {
    blockOpen_ = false;
    DefinitionStoreEntry(source_ ? source_->Names() : nullptr, blockKey_.c_str(), target_,
                         block_.Detach(), blockVariable_ || VariableRegion());
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
  bool blockOpen_ = false;
  std::string blockName_;
  std::string blockKey_;
  bool blockVariable_ = false;
  int blockTabs_ = 0;
  HeapTextBuilder block_;
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
