#include "host/sqlite_like.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"

char* StripNonAlnum(char* text) {
  if (!text) return text;
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (std::isalnum(static_cast<unsigned char>(*in))) *out++ = *in;
  }
  *out = 0;
  return text;
}

bool ZEQCustomLikeMatch(const char* patternText, const char* textIn) {
  if (!patternText || !textIn) return false;
  char* pattern = StrDupExtra(patternText, 0);
  char* text = StrDupExtra(textIn, 0);
  bool match = false;
  try {
    bool noAccents = false, alnumOnly = false;
    char* p = pattern;
    for (;; ++p) {
      if (*p == '*')
        noAccents = true;
      else if (*p == '#')
        alnumOnly = true;
      else
        break;
    }
    if (noAccents) {
      RemoveAccents(p);
      RemoveAccents(text);
    }
    if (alnumOnly) {
      StripNonAlnum(p);
      StripNonAlnum(text);
    }
    if (*p == '%') {
      const size_t length = std::strlen(p);
      // Its first and last characters go: "%ban%" looks for "ban".
      if (length >= 2) p[length - 1] = 0;
      match = StrStrNoCase(text, length >= 2 ? p + 1 : "") != nullptr;
    } else if (*p == '$') {
      ++p;
      if (*p == '^') ++p;
      match = WildcardMatchList(p, text, 0) != FALSE;
    } else {
      match = _stricmp(p, text) == 0;
    }
  } catch (...) {
    HeapFreeZ(pattern);
    HeapFreeZ(text);
    throw;
  }
  HeapFreeZ(pattern);
  HeapFreeZ(text);
  return match;
}

void ZEQSQLiteLikeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 2) return;
  char* pattern = nullptr;
  char* text = nullptr;
  try {
    const auto* patternUtf8 = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto* textUtf8 = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (!patternUtf8 || !textUtf8) {
      sqlite3_result_int(context, 0);
      return;
    }
    // SQLite hands UTF-8; the comparison works on the ANSI code page, where
    // accented letters are single characters.
    pattern = Utf8ToAnsiDup(patternUtf8, 0);
    text = Utf8ToAnsiDup(textUtf8, 0);
    sqlite3_result_int(context, ZEQCustomLikeMatch(pattern, text) ? 1 : 0);
  } catch (...) {
    ZEQLogUnexpected("ZEQSQLiteLikeFunction");
    sqlite3_result_error_nomem(context);
  }
  HeapFreeZ(pattern);
  HeapFreeZ(text);
}

int ZEQSQLiteInstallCustomLike(sqlite3* database) {
  return sqlite3_create_function(database, "like", 2, SQLITE_UTF8, nullptr, ZEQSQLiteLikeFunction, nullptr, nullptr);
}
