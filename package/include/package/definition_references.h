// References inside definitions values and texts:
//   @@name      the value of the entry name of a definitions list (one entry
//               quoting another); written @@name@@ when text follows at once
//   %[[key]]%   the value of key in the process-wide dictionary; the forms
//               %[d[key]]%, %[t[key]]%, %[n[key]]% and %[$[key]]% are the same
// and the step that stores one entry read from a definitions file.
//
// Texts are process-heap blocks that the operations may reallocate (the
// pointer is updated). Inserted values are not scanned again, so a reference
// inside a value stays as written and no expansion can recurse. A reference
// to a missing entry, or to one without a value or with an empty value, stays
// as written.
#pragma once
#include <cstddef>

#include "foundation/counted_text.h"

class DefinitionsList;

// Replaces @@name references by values of entries of list. 0 when every
// reference was replaced (or there was none); 2 when one names no entry:
// the expansion stops there and the rest of the text stays as written. When
// copy is given and anything was replaced, *copy receives a new heap copy of
// the text as it was before (else it is left alone). length (optional) is
// read as the text's length and receives the new one.
int ExpandDefinitionReferences(DefinitionsList* list, char** text, char** copy, size_t* length);

// Dictionary reference modes.
constexpr int kDictionaryValueAnsi = 1;  // values converted from UTF-8 to ANSI
constexpr int kDictionaryValueBytes = 2;  // values inserted as stored
// Replaces %[[key]]% references by values of the global dictionary; without a
// dictionary the text is unchanged. Result 1.
int ProcessDictionaryReferences(char** text, size_t* length, int mode);


// The names that the values "@meta.file.name" and "@meta.file.parent.name"
// stand for: the file being read without folder and extension, and the name
// of the folder that holds it. Either may be null (the value then stays).
struct DefinitionsSourceNames {
  const char* fileName;
  const char* parentName;
};

// Stores one entry read from a file: the value (a heap block whose ownership
// passes, may be null) gets its @@ references expanded with list, a meta
// value is resolved, and the entry is stored under key (nothing for a null or
// empty key); with the variable flag it is also copied into the global
// dictionary (made when missing) unless list is that dictionary. The second
// value of the entry is the value as written when references were replaced.
// Returns 1 when stored.
int DefinitionStoreEntry(const DefinitionsSourceNames* names, const char* key,
                         DefinitionsList* list, char* value, bool variable);
