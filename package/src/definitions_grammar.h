// Pieces of the definitions line grammar shared by the definitions reader
// and the template reader: trimming, directive matching, section paths by
// level and multi-line blocks. Pure logic.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include "package/definitions_list.h"
#include "ascii_text.h"
#include "text_builder.h"

namespace defsgrammar {

inline std::string Trimmed(const char* begin, const char* end) {
  while (begin < end && ascii::IsBlank(*begin)) ++begin;
  while (end > begin && ascii::IsBlank(end[-1])) --end;
  return std::string(begin, end);
}

inline bool EqualsNoCase(const std::string& a, const char* b) {
  return ascii::EqualsNoCase(a.data(), a.size(), b);
}

// Paths are held to one character more than a stored key may have: a path
// that long gives keys too long to store, whatever is cut from or added to
// its end, and a hostile text cannot make every line copy a huge path.
constexpr size_t kPathCap = kDefinitionKeyMax + 1;

// Appends what fits below the path cap.
inline void AppendCapped(std::string* path, const std::string& part) {
  if (path->size() < kPathCap) path->append(part, 0, kPathCap - path->size());
}

// "%name%" loses its markers and counts as a variable.
inline bool StripVariableMarkers(std::string* name) {
  if (name->size() < 2 || name->front() != '%' || name->back() != '%') return false;
  *name = name->substr(1, name->size() - 2);
  return true;
}

// The scanf-like patterns "%*[set]word...": a run of at least one character
// of set at the start, then word. The position after the word, or npos.
inline size_t MatchWord(const std::string& line, const char* set, const char* word) {
  size_t at = 0;
  while (at < line.size() && line[at] && strchr(set, line[at])) ++at;
  if (at == 0 || line.compare(at, strlen(word), word) != 0) return std::string::npos;
  return at + strlen(word);
}

// "%*[- \t@]word %[^\r\n]": the word, optional white space, then an argument
// of at least one character.
inline bool MatchDirective(const std::string& line, const char* word, std::string* argument) {
  size_t at = MatchWord(line, "- \t@", word);
  if (at == std::string::npos) return false;
  while (at < line.size() && line[at] && strchr(" \t\v\f", line[at])) ++at;
  if (at >= line.size()) return false;
  *argument = line.substr(at);
  return true;
}

// A line without its indentation and trailing blanks ("" for a blank
// line); *level receives the number of TABs in its indentation.
inline std::string LeveledLine(const char* begin, const char* end, int* level) {
  *level = 0;
  while (begin < end && ascii::IsBlank(*begin)) *level += *begin++ == '\t';
  return Trimmed(begin, end);
}

// The directives both readers share: "@import" (a failing import fails the
// line) and "@language"; a line switched off with '-' is ignored. True when
// the line was one of them, with *ok the line's result.
template <typename ImportFn, typename LanguageFn>
bool SharedDirective(const std::string& line, ImportFn import, LanguageFn language, bool* ok) {
  const bool dash = !line.empty() && line[0] == '-';
  std::string argument;
  *ok = true;
  if (MatchDirective(line, "import", &argument)) {
    *ok = dash || import(argument);
    return true;
  }
  if (MatchDirective(line, "language", &argument)) {
    if (!dash) language(argument);
    return true;
  }
  return false;
}

// The section path brought to a line's level: deeper levels add one '.' per
// skipped level, shallower ones cut before the level-th dot (the first for
// levels 0 and 1).
inline std::string PathAtLevel(const std::string& sectionPath, int sectionLevel, int level) {
  std::string path = sectionPath;
  if (level > sectionLevel) {
    AppendCapped(&path, std::string(std::min(size_t(level - sectionLevel - 1), kPathCap), '.'));
  } else if (!(level == 0 && sectionLevel == 0)) {
    size_t dot = std::string::npos;
    for (int i = 0, n = level < 1 ? 1 : level; i < n; ++i) {
      dot = path.find('.', dot == std::string::npos ? 0 : dot + 1);
      if (dot == std::string::npos) break;
    }
    if (dot != std::string::npos) path.resize(dot);
  }
  return path;
}

// A multi-line value ("key:#begin" ... "#end key").
class Block {
 public:
  void Open(const std::string& name, const std::string& key, bool variable, int level) {
    open_ = true;
    name_ = name;
    key_ = key;
    variable_ = variable;
    tabs_ = level;
    text_.Clear();
    text_.Reserve(1024);
  }
  bool IsOpen() const { return open_; }
  const std::string& Key() const { return key_; }
  bool Variable() const { return variable_; }

  // One line of the block; true when it is the end line that closes it.
  bool Line(const char* begin, const char* end) {
    size_t run = 0;
    int tabs = 0;
    while (begin + run < end && ascii::IsBlank(begin[run])) tabs += begin[run++] == '\t';
    const std::string raw(begin, end);
    const bool dash = begin + run < end && begin[run] == '-';
    // "%*[- \t#]end%[^\r\n]": the end line names the block it closes.
    const size_t after = dash ? std::string::npos : MatchWord(raw, "- \t#", "end");
    if (after != std::string::npos && after < raw.size() &&
        EqualsNoCase(Trimmed(raw.data() + after, raw.data() + raw.size()), name_.c_str())) {
      open_ = false;
      return true;
    }
    // The indentation removed is bounded by the previous line's TABs.
    const size_t removed = tabs_ > 0 && size_t(tabs_) < run ? size_t(tabs_) : run;
    text_.Append(begin + removed, size_t(end - begin) - removed);
    text_.Append("\r\n", 2);
    tabs_ = tabs;
    return false;
  }
  // The collected text (a heap block for the caller).
  char* Detach() { return text_.Detach(); }

 private:
  bool open_ = false;
  std::string name_;
  std::string key_;
  bool variable_ = false;
  int tabs_ = 0;
  HeapTextBuilder text_;
};

}  // namespace defsgrammar
