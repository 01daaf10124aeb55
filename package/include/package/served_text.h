// Small helpers for the texts the container serves to the browser control:
// classifying a file by its extension, the run-time information block that
// marks texts using the system-font macros, the byte-order mark the control
// needs, the loader block around a loader script, and finding a tag in
// markup. They work on narrow process-heap texts that the caller owns; a
// routine that changes a text may move it to a new block (the caller's
// pointer and length are updated, the old block is freed).
#pragma once
#include <cstddef>
#include <cstdint>

// Extension (text after the last '.', any case) is js, zeq, htm, html, htc,
// css or json.
bool IsScriptOrMarkupFile(const char* fileName);
// Extension is "hdc" (any case): a layered-image definitions file.
bool IsQuelmDefinitionsFile(const char* fileName);

// Encoding flags (the result bits of TextBufferToUtf8): 0x4 the text came
// as UTF-16 and goes back as UTF-16 little-endian; 0x80000000 a byte-order
// mark is to be put in front.
constexpr uint32_t kServedTextUtf16 = 0x4;
constexpr uint32_t kServedTextMark = 0x80000000u;
// Option of AppendRuntimeInfoBlock: leave the encoding as it is (nested
// texts are converted once, by their outermost caller).
constexpr uint32_t kServedTextNested = 0x8;

// Appends the run-time information block when the text holds
// "%zeqsystemfontname%" or "%zeqsystemfontsize%", then (without
// kServedTextNested) converts the encoding as ConvertServedTextEncoding
// does and answers true; with kServedTextNested answers false after the
// append. *text is a process-heap text of *length bytes.
bool AppendRuntimeInfoBlock(const char* fileName, char** text, size_t* length, uint32_t encoding,
                            uint32_t options);
// Encoding flags kServedTextUtf16 | kServedTextMark: the text becomes FF FE
// and UTF-16 little-endian (read as UTF-8, the form every served text is
// normalised to; bytes that are not valid UTF-8 are read in the ANSI code
// page); kServedTextMark alone: EF BB BF is put in front of the bytes as
// they are; otherwise nothing changes.
void ConvertServedTextEncoding(char** text, size_t* length, uint32_t encoding);
// 2 for EF BB BF, 8 for FE FF, 4 for FF FE, else 0.
uint32_t TestByteOrderMark(const void* bytes, size_t length);

// The loader block: "ZEQLOADER: {\r\n" + text + "\r\n}". The length grows by
// 17. false (nothing changed) for a null text.
bool WrapInLoaderBlock(char** text, size_t* length);

// The '<' opening the first tag of that name: the name is searched ignoring
// case and outside double-quoted spans; blanks and tabs may stand between
// '<' and the name; an occurrence without '<' before it is passed over.
// NULL when there is none.
const char* FindTagStart(const char* text, const char* tagName);
