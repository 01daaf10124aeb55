// The error box's text and the exit code of a fatal error.
#include <gtest/gtest.h>

#include <string>

#include "foundation/heap.h"
#include "kesto/error_box.h"
#include "package/macros.h"

namespace {

struct BoxCase {
  const char* name;
  const char* description;
  uint32_t code;
  const char* url;
  const char* body;
};

const char kAdvice[] =
    "\r\nSe este erro persistir, consulte seu servi\xE7o de suporte t\xE9" "cnico ou tente reinstalar a aplica\xE7\xE3o.";

TEST(ErrorBox, TheTextShowsTheLowDigitsTheDescriptionAndTheUrl) {
  RegisterMacro("!%applicationname%", "Teste");
  const BoxCase cases[] = {
      {"one-word description, no URL", "Falhou", 0x80000012, nullptr,
       "C\xF3" "digo: KESTO.0012\r\n\r\nDescri\xE7\xE3o: Falhou\r\n"},
      {"URL only", "", 0x80000006, "c:\\x\\run.log", "C\xF3" "digo: KESTO.0006\r\n\r\nURL: c:\\x\\run.log\r\n"},
      {"neither", nullptr, 0x8000001A, "", "C\xF3" "digo: KESTO.001A\r\n"},
  };
  for (const BoxCase& c : cases) {
    char* caption = nullptr;
    char* body = nullptr;
    FormatErrorBox(c.description, c.code, c.url, &caption, &body);
    EXPECT_STREQ("Teste - Erro durante execu\xE7\xE3o...", caption) << c.name;
    EXPECT_EQ(std::string(c.body) + kAdvice, std::string(body)) << c.name;
    HeapFreeZ(caption);
    HeapFreeZ(body);
  }
}

TEST(ErrorBox, AFatalErrorNeverEndsWithExitCodeZero) {
  EXPECT_EQ(0x19u, ErrorExitCode(0x80000019));
  EXPECT_EQ(0x1Au, ErrorExitCode(0x8000001A));
  EXPECT_EQ(0xFFFFu, ErrorExitCode(0x80000000));
}

}  // namespace
