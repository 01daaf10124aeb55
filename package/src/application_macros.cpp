// The application's system macros, made from its name and version text, and
// the language directive of the core script.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/definition_references.h"
#include "package/macros.h"
#include "ascii_text.h"

namespace {

constexpr int kEnglish = 1033;
constexpr int kPortuguese = 1046;
constexpr size_t kVersionPartMax = 10;
constexpr char kLanguageDirective[] = "@kestolang=";

std::atomic<const char*> language{"en-US"};
std::atomic<int> languageCode{kEnglish};
std::atomic<char*> versionName{nullptr};

// The part of text in [begin, end) cut to the version part limit, or "0" when
// empty.
void CopyVersionPart(char* out, const char* begin, const char* end) {
  size_t n = size_t(end - begin);
  if (n > kVersionPartMax) n = kVersionPartMax;
  memcpy(out, begin, n);
  out[n] = '\0';
  if (!n) strcpy(out, "0");
}

// "@kestolang=" and its value up to the next ';' (or, without one, the digits
// after it) become the directive with the new code.
void RewriteLanguageDirective(char** script, size_t* length, int code) {
  if (!script || !*script) return;
  const char* at = strstr(*script, kLanguageDirective);
  if (!at) return;
  const size_t offset = size_t(at - *script);
  const char* end = strchr(at, ';');
  if (!end) {
    end = at + strlen(kLanguageDirective);
    while (*end >= '0' && *end <= '9') ++end;
  }
  char directive[32];
  const int n = snprintf(directive, sizeof directive, "%s%d", kLanguageDirective, code);
  size_t scriptLength = length ? *length : strlen(*script);
  ReplaceBufferSpan(script, &scriptLength, offset, size_t(end - at), directive, size_t(n));
  if (length) *length = scriptLength;
}

}  // namespace

void SetApplicationMacros(const char* applicationName, const char* versionText,
                          char** coreScript, size_t* coreScriptLength) {
  const char* newLanguage = "en-US";
  int code = kEnglish;
  char* version = StrDupExtra(versionText, 0);
  char* name = StrDupExtra("", 0);
  if (char* blank = strchr(version, ' ')) {
    *blank = '\0';
    const char* word = blank + 1;
    if (ascii::BeginsNoCase(word, "pt-br")) {
      newLanguage = "pt-BR";
      code = kPortuguese;
    }
    if (const char* next = strchr(word, ' ')) {
      HeapFreeZ(name);
      name = StrDupExtra(next + 1, 0);
    }
  }
  char number[kVersionPartMax + 1], release[kVersionPartMax + 1];
  const char* firstDot = strchr(version, '.');
  CopyVersionPart(number, version, firstDot ? firstDot : version + strlen(version));
  if (firstDot) {
    const char* secondDot = strchr(firstDot + 1, '.');
    CopyVersionPart(release, firstDot + 1, secondDot ? secondDot : firstDot + 1 + strlen(firstDot + 1));
  } else {
    strcpy(release, "0");
  }

  RegisterMacro("!%applicationname%", applicationName);
  RegisterMacro("!%applicationversion%", version);
  RegisterMacro("!%applicationversionnumber%", number);
  RegisterMacro("!%applicationversionrelease%", release);
  RegisterMacro("!%applicationversionname%", name);
  RegisterMacro("!%applicationlanguage%", newLanguage);
  HeapFreeZ(version);

  if (code != languageCode.load()) RewriteLanguageDirective(coreScript, coreScriptLength, code);
  languageCode.store(code);
  language.store(newLanguage);
  // The previous name stays allocated: a reader may still hold it.
  versionName.store(name);
}

const char* GetApplicationLanguage() { return language.load(); }
int GetApplicationLanguageCode() { return languageCode.load(); }

const char* GetApplicationVersionName() {
  const char* name = versionName.load();
  return name ? name : "";
}
