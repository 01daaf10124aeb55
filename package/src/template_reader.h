// The template line reader: the text of one template file read into class
// declarations, extensions and class definitions, then extended, merged
// and resolved. Files named by directives are reached through the source.
#pragma once
#include <cstddef>
#include <cstdint>

class TemplateSource {
 public:
  virtual ~TemplateSource() = default;
  // An import argument ("nofail" removed, macros replaced): read that
  // template; false fails the importing read.
  virtual bool Import(const char* argument) = 0;
  // A language argument, macros replaced and unquoted: load the dictionary.
  virtual void Language(const char* argument) = 0;
};

// Reads a template text (any byte-order mark honoured) as the file at
// normalizedPath; 1 on success, else 0. Classes registered before a failure
// stay registered.
int ReadTemplateText(uintptr_t context, const char* normalizedPath, const char* text, size_t length,
                     TemplateSource* source);
