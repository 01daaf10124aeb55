// Template files (.hdc): skin classes declared with "@define", based on one
// another, extended from other files with "@extend", quoting values of other
// classes with '@' references.
//
//   @define #Button as public
//   <TAB>width:80
//   <TAB>image
//   <TAB><TAB>file:button.png
//   @define #Wide based #Button
//   <TAB>width:@#parent.width
//   <TAB>--image                 deletes the inherited image keys
//
// Keys of a class live under the section "#class" of its own definitions
// list (#class.width, #class.image.file). Each class is registered in a
// process-wide table under its file's normalised path followed by its name,
// and a public class also under its name alone. A file read successfully is
// not read again while it is unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "windows/skin_record.h"

class DefinitionsList;

// Reads a template file (any path form); its imports are read as templates
// relative to it. normalized (optional, kSkinPathMax + 1 bytes) receives the
// file's normalised path. 1 on success or when the file is cached and unchanged;
// 0 when the file cannot be read, an import fails, a section line has level
// 0, a declaration is rejected, the text ends inside a block, a reference
// cannot be resolved, or an import or reference chain loops.
int ParseTemplateFile(uintptr_t context, const char* path, char* normalized);
// Reads template text as if it were the file at path (nothing is cached).
int ParseTemplateText(uintptr_t context, const char* path, const char* text, size_t length);

// The class registered under the key ("<normalised path>#Name", or "#Name"
// for a public class), or an empty holder.
SKINHolder FindTemplateClass(const char* key);
// The class a reference names: "<template path>#Name" reads that template
// and finds the class in it; "#Name" finds a public class. Empty when there
// is none.
SKINHolder FindTemplateClassReference(uintptr_t context, const char* reference);

// Parses "#Name [as public|private] [based #Parent]" and registers the new
// class; an empty holder when the declaration is rejected.
SKINHolder DeclareTemplateClass(const char* declaration, uintptr_t context, const char* filePath);

// Reference results.
constexpr int kReferenceResolved = 0;
constexpr int kReferenceNotVisible = 1;
constexpr int kReferenceKeyMissing = 2;
constexpr int kReferenceClassMissing = 3;
constexpr int kReferenceLoops = 4;     // the chain came back to a value it had read
constexpr int kReferenceTooLong = 5;   // the value would not fit its buffer
constexpr size_t kReferenceValueMax = 16384;  // characters, terminator included
// Rewrites one '@' value in place.
int ResolveClassReference(std::string* value, const char* filePath, const SKINHolder& skin);
// Resolves every '@' value of the class's definitions and copies every entry
// into the global dictionary; 1, or 0 at the first failure.
int ResolveClassReferences(DefinitionsList* definitions, const char* className, const SKINHolder& skin);

// The candidate is public, has the asking class's owner word, or was
// declared in the file.
bool IsTemplateClassVisible(const char* filePath, const ZEQBASESKIN* candidate, const ZEQBASESKIN* asking);
// The extension list stored under a name, or null.
DefinitionsList* FindTemplateExtension(const char* name);
// Replaces (and deletes) the extension list stored under a name.
void SetTemplateExtension(const char* name, DefinitionsList* list);

bool IsTemplateCached(const char* path);
void MarkTemplateCached(const char* path);
