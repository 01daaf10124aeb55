// Loaded text files brought to UTF-16, the twin of TextBufferToUtf8 and
// TextBufferToAnsi (foundation/text.h) for readers that want wide text.
#pragma once
#include <cstddef>
#include <cstdint>

// *buffer is a process-heap block of *size bytes, not necessarily
// terminated. By its first bytes:
//   EF BB BF  the UTF-8 text after the mark becomes a new UTF-16 text
//             (result 0x80000002)
//   FE FF     big-endian UTF-16 is left as it is (result 0)
//   FF FE     the mark is removed in place (result 0x80000004)
//   other     UTF-16 by IsTextUnicode is left as it is (result 4); anything
//             else is ANSI text and becomes a new UTF-16 text (result 0)
// A new text replaces *buffer (the old block is freed). *size receives the
// byte count of the UTF-16 text without its terminator (unchanged where the
// text is left as it is); the text is terminated whenever it was converted
// or lost its mark.
uint32_t DecodeTextBuffer(char** buffer, size_t* size);
