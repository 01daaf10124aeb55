#include "skin_key_reading.h"

#include <cstdlib>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/skin_values.h"

namespace skinkeys {

namespace {
constexpr char kClassSection[] = "#class";
}

bool KeyReader::Exists(const std::string& name) const {
  return skin_->definitions && DefinitionHasKey(skin_->definitions, kClassSection, name.c_str());
}

const char* KeyReader::Value(const std::string& name) const {
  if (!skin_->definitions) return nullptr;
  int found = 0;
  const char* value = DefinitionGetValue(skin_->definitions, kClassSection, name.c_str(), nullptr, &found);
  if (!found) return nullptr;
  return value ? value : "";
}

void KeyReader::Text(const std::string& name, ZEQBuffer* field) const {
  if (const char* value = Value(name)) SKINSetText(field, value);
}

void KeyReader::AnsiText(const std::string& name, ZEQBuffer* field) const {
  if (const char* value = Value(name)) SKINTakeText(field, Utf8ToAnsiDup(value, 0));
}

void KeyReader::Int(const std::string& name, int* field) const {
  if (skin_->definitions) DefinitionGetInt(skin_->definitions, kClassSection, name.c_str(), field, *field);
}

void KeyReader::Bool(const std::string& name, int* field) const {
  if (skin_->definitions) DefinitionGetBool(skin_->definitions, kClassSection, name.c_str(), field, *field);
}

void KeyReader::Alpha(const std::string& name, uint32_t* field) const {
  int value = int(*field);
  if (skin_->definitions) DefinitionGetAlpha(skin_->definitions, kClassSection, name.c_str(), &value, value);
  *field = uint32_t(value);
}

void KeyReader::Colour(const std::string& name, uint32_t* field, int options) const {
  if (skin_->definitions) {
    DefinitionGetColor(skin_->definitions, kClassSection, name.c_str(), field, *field, options);
  }
}

bool KeyReader::Rect(const std::string& name, int field[4]) const {
  const int current[4] = {field[0], field[1], field[2], field[3]};
  return skin_->definitions &&
         DefinitionGetRect(skin_->definitions, kClassSection, name.c_str(), field, current) != 0;
}

bool KeyReader::Pair(const std::string& name, int field[2]) const {
  const char* value = Value(name);
  if (!value) return false;
  ParseIntPair(value, field);
  return true;
}

bool KeyReader::Quad(const std::string& name, int field[4]) const {
  const char* value = Value(name);
  if (!value) return false;
  // Each field is read by the C library's decimal conversion; a missing
  // comma leaves the rest at 0.
  const char* at = value;
  for (int i = 0; i < 4; ++i) {
    field[i] = at ? int(strtol(at, nullptr, 10)) : 0;
    if (at) {
      at = strchr(at, ',');
      if (at) ++at;
    }
  }
  return true;
}

bool KeyReader::Layout(const std::string& name, int* field) const {
  const char* value = Value(name);
  if (!value) return false;
  *field = int(SKINParseLayout(value));
  return true;
}

bool KeyReader::HasWord(const std::string& name, const char* word) const {
  const char* value = Value(name);
  return value && FindOptionWord(value, word, false) != nullptr;
}

}  // namespace skinkeys
