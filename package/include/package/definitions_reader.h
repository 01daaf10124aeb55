// The definitions language (.def files): sections nested by TAB indentation,
// key:value lines, numbered meta lines, multi-line blocks and the @import and
// @language directives, read into a DefinitionsList.
//
//   window                       section "window"
//   <TAB>width:320               window.width = 320
//   <TAB>:first tip              window.00000001 (meta line, counted in
//                                "[meta].window")
//   <TAB>title                   section window.title
//   <TAB><TAB>font: @@system.font.face
//   <TAB>-debug:1                private: never stored
//   %colors%                     variable section: its keys also go to the
//                                global dictionary
//   script:#begin                a block, closed by "#end script"
//
// A line's level is the number of TABs in its indentation. Lines that begin
// with '-' are switched off (directives ignored, keys and sections private).
// The language has no comment lines: a line without ':' is a section.
#pragma once
#include <cstddef>
#include <cstdint>

#include "package/definition_references.h"

class DefinitionsList;

// What a read needs from outside the text: the names behind the meta values
// and the files that directives name. The text reader itself opens no file.
class DefinitionsSource {
 public:
  virtual ~DefinitionsSource() = default;
  virtual const DefinitionsSourceNames* Names() = 0;
  // An @import argument, its @@ references and system macros replaced: read
  // the file into target. False fails the importing read.
  virtual bool Import(const char* argument, DefinitionsList* target) = 0;
  // An @language argument, its system macros replaced: load the dictionary.
  virtual void Language(const char* argument) = 0;
};

// Reads a definitions text (any byte-order mark honoured, dictionary
// references replaced first) into target, or into a new list when target is
// null. Returns the list, or null when an import fails or the text ends
// inside a block; the entries stored before the failure stay (a list made by
// a failing read is deleted unless keepOnFailure). Without a source, imports
// fail and language directives do nothing.
DefinitionsList* ParseDefinitionsText(const char* text, size_t length, DefinitionsList* target,
                                      DefinitionsSource* source, bool keepOnFailure = false);

// Reads a definitions file through the virtual file system (any path form)
// into target, or into a new list when target is null. context is handed to
// nested reads and template imports; reserved is 0. With the cache flag, a
// file read before with the flag is not read again: its list is returned,
// whatever target is given; a successful read is cached for the whole
// process. Returns the list, or null when the file cannot be read, an import
// fails or the text ends inside a block.
//
// An import that would read a file already being read on this thread (an
// import cycle) is skipped; imports nested deeper than kDefinitionsImportDepth
// fail.
constexpr int kDefinitionsImportDepth = 32;
DefinitionsList* ParseDefinitionsFile(uintptr_t context, const char* path, uint32_t reserved,
                                      DefinitionsList* target, int cache);

// Reader of template (.hdc) files named by an @import: returns non-zero on
// success. Until one is set such an import fails.
typedef int (*DefinitionsTemplateReader)(uintptr_t context, const char* path);
void SetDefinitionsTemplateReader(DefinitionsTemplateReader reader);
