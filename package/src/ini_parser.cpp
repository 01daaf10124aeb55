// The INI line grammar. Pure logic.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/text.h"
#include "package/ini_text.h"
#include "package/text_lines.h"
#include "ascii_text.h"

namespace {

std::string Trimmed(const char* begin, const char* end) {
  while (begin < end && ascii::IsBlank(*begin)) ++begin;
  while (end > begin && ascii::IsBlank(end[-1])) --end;
  return std::string(begin, end);
}

class INIReader {
 public:
  INIReader(ZEQList* list, bool skipAtKeys) : list_(list), skipAtKeys_(skipAtKeys) {}

  void Line(const char* begin, const char* end) {
    // "[%[^]]": a '[' followed by at least one character other than ']'.
    if (end - begin >= 2 && begin[0] == '[' && begin[1] != ']') {
      const char* close = static_cast<const char*>(memchr(begin + 1, ']', size_t(end - begin - 1)));
      section_ = Trimmed(begin + 1, close ? close : end);
      if (!section_.empty()) {
        list_->SetByName(section_.c_str(), 0, 0, ZEQLIST_NOCASE, ZEQLIST_TEXT_KEY);
      }
      return;
    }
    // "%[^=]=%[^\r\n]": text before the first '=' and text after it.
    const char* equals = static_cast<const char*>(memchr(begin, '=', size_t(end - begin)));
    if (!equals || equals == begin || equals + 1 == end || section_.empty()) return;
    const std::string name = Trimmed(begin, equals);
    if (name.empty() || (skipAtKeys_ && name[0] == '@')) return;
    const std::string value = Trimmed(equals + 1, end);
    const std::string key = section_ + ":" + name;
    char* copy = StrDupExtra(value.c_str(), 0);
    if (!list_->SetByName(key.c_str(), reinterpret_cast<uintptr_t>(copy), 0, ZEQLIST_NOCASE,
                          ZEQLIST_TEXT_KEY | ZEQLIST_VALUE1_HEAP)) {
      HeapFreeZ(copy);
    }
  }

 private:
  ZEQList* list_;
  bool skipAtKeys_;
  std::string section_;
};

}  // namespace

ZEQList* ParseINITextBuffer(const char* text, size_t length, bool skipAtKeys) {
  ZEQList* list = nullptr;
  ZEQList::Create(&list);
  try {
    INIReader reader(list, skipAtKeys);
    // The text ends at its size or at a terminator inside it.
    const size_t size = text ? strnlen(text, length) : 0;
    size_t position = 0;
    const char* line;
    size_t lineLength;
    while (NextTextLine(text, size, &position, &line, &lineLength)) reader.Line(line, line + lineLength);
  } catch (...) {
    ZEQList::Delete(list);
    throw;
  }
  return list;
}
