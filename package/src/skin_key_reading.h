// Typed reads of one skin key under "#class", shared by the skin readers.
#pragma once
#include <cstdint>
#include <string>

#include "windows/skin_record.h"

namespace skinkeys {

class KeyReader {
 public:
  explicit KeyReader(ZEQBASESKIN* skin) : skin_(skin) {}

  bool Exists(const std::string& name) const;
  // The value, null when absent; an entry without a value reads as "".
  const char* Value(const std::string& name) const;
  // Absent keys keep the field, unless the reader says otherwise.
  void Text(const std::string& name, ZEQBuffer* field) const;
  void AnsiText(const std::string& name, ZEQBuffer* field) const;
  void Int(const std::string& name, int* field) const;
  void Bool(const std::string& name, int* field) const;
  void Alpha(const std::string& name, uint32_t* field) const;
  void Colour(const std::string& name, uint32_t* field, int options) const;
  bool Rect(const std::string& name, int field[4]) const;
  bool Pair(const std::string& name, int field[2]) const;
  bool Quad(const std::string& name, int field[4]) const;
  bool Layout(const std::string& name, int* field) const;
  // Whole option word of the value (any case); false when absent.
  bool HasWord(const std::string& name, const char* word) const;

  ZEQBASESKIN* skin() const { return skin_; }

 private:
  ZEQBASESKIN* skin_;
};

}  // namespace skinkeys
