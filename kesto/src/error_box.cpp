// The error box.
#include "kesto/error_box.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "kesto/startup.h"
#include "package/macros.h"

namespace {

constexpr char kCaption[] = "%applicationname% - Erro durante execu\xE7\xE3o...";
constexpr char kAdvice[] =
    "\r\nSe este erro persistir, consulte seu servi\xE7o de suporte t\xE9" "cnico ou tente reinstalar a "
    "aplica\xE7\xE3o.";

char* Expand(char* text) { return ProcessMacros(text, nullptr, nullptr, kMacroGrow); }

char* Copy(const char* text) {
  const size_t length = std::strlen(text);
  auto copy = static_cast<char*>(HeapAllocZ(length + 1));
  std::memcpy(copy, text, length + 1);
  return copy;
}

bool Unattended() {
  const char* value = std::getenv(kUnattendedVariable);
  return value && *value;
}

}  // namespace

uint32_t ErrorExitCode(uint32_t code) { return (code & 0xFFFF) ? (code & 0xFFFF) : 0xFFFF; }

void FormatErrorBox(const char* description, uint32_t code, const char* url, char** caption, char** body) {
  const bool hasDescription = description && *description;
  const bool hasUrl = url && *url;
  *caption = Expand(Copy(kCaption));
  const size_t size = std::strlen(*caption) + (hasDescription ? std::strlen(description) : 0) +
                      (hasUrl ? std::strlen(url) : 0) + sizeof kAdvice + 513;
  auto text = static_cast<char*>(HeapAllocZ(size));
  size_t used = static_cast<size_t>(std::snprintf(text, size, "C\xF3" "digo: KESTO.%04X\r\n", code & 0xFFFF));
  if (hasDescription) used += static_cast<size_t>(std::snprintf(text + used, size - used, "\r\nDescri\xE7\xE3o: %s\r\n", description));
  if (hasUrl) used += static_cast<size_t>(std::snprintf(text + used, size - used, "\r\nURL: %s\r\n", url));
  std::snprintf(text + used, size - used, "%s", kAdvice);
  *body = Expand(text);
}

int KESTOError(const char* description, uint32_t code, const char* url, int fatal) {
  ZEQLogPrintf("KESTOError: Description: \"%s\", Code: %08X", description ? description : "", code);
  char* caption = nullptr;
  char* body = nullptr;
  FormatErrorBox(description, code, url, &caption, &body);
  int answer = IDCANCEL;
  if (Unattended()) {
    ZEQLogPrintf("KESTOError: [UNATTENDED] %s\r\n%s", caption, body);
  } else {
    answer = MessageBoxA(nullptr, body, caption, MB_ICONHAND | MB_SYSTEMMODAL | (fatal ? MB_OK : MB_OKCANCEL));
  }
  HeapFreeZ(caption);
  HeapFreeZ(body);
  if (fatal || answer != IDOK) {
    if (ZEQGetExitCode() == 0) ZEQSetExitCode(ErrorExitCode(code));
    KESTOTerminate();
  }
  return 1;
}
