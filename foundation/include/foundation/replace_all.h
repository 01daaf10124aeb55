// Replacement of every occurrence of a pattern in a text.
#pragma once
#include <cstddef>
#include <string>

// Left to right; the search resumes right after each inserted replacement,
// so a replacement that contains the pattern is not replaced again. An empty
// or NULL pattern leaves the text unchanged; a NULL replacement deletes.
// Returns the number of replacements.
size_t TextReplaceAll(std::string& text, const char* pattern, const char* replacement);
