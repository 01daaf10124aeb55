// Values handed to the container's core script through the start-up
// definitions. Every entry with a value below compiler.directives.var
// becomes a variable declaration, every one below compiler.directives.cc a
// conditional-compilation variable:
//
//   compiler                     var text: var debug=1;var ui.mode=3;
//   <TAB>directives              cc text:  @set level=2;@set trace=true
//   <TAB><TAB>var
//   <TAB><TAB><TAB>debug:1
//   <TAB><TAB><TAB>ui.mode:3
//
// Lines follow the list's key order. Names get their macros replaced; values
// are copied as written (a text needs its own quotes). Pure logic.
#pragma once

class DefinitionsList;

// Both write a new heap text (the caller frees it) to *text and return it;
// the text is empty for a null list, a missing section or no values.
char* PreprocessVarDirectives(DefinitionsList* list, char** text);
char* PreprocessSetDirectives(DefinitionsList* list, char** text);
