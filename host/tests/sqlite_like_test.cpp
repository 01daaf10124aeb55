// The custom LIKE of the SQLite object: installed in a database of the
// SQLite library; plain patterns answered as the sqlite3 shell's own LIKE
// answers them; the option characters and wildcard lists.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "host/sqlite_like.h"
#include "loopback_http.h"

namespace {

// The answer of the function installed in an in-memory database for
// "text LIKE pattern" (UTF-8).
int LikeInDatabase(const std::string& pattern, const std::string& text) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) return -1;
  int answer = -1;
  if (ZEQSQLiteInstallCustomLike(db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT ?2 LIKE ?1", -1, &statement, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(statement, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(statement, 2, text.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(statement) == SQLITE_ROW) answer = sqlite3_column_int(statement, 0);
      sqlite3_finalize(statement);
    }
  }
  sqlite3_close(db);
  return answer;
}

struct Pair {
  const char* pattern;
  const char* text;
};

// Patterns whose meaning the custom LIKE shares with SQL's LIKE: "%...%"
// searches and plain equality, both ignoring case.
const Pair kShared[] = {
    {"%ban%", "Banana"}, {"%BAN%", "banana"}, {"%nan%", "Banana"}, {"%xyz%", "Banana"}, {"%%", "anything"},
    {"banana", "BANANA"}, {"banana", "bananas"}, {"a", "b"},     {"%a b%", "x a b y"}, {"%ab%", "a b"},
};

TEST(CustomLike, PlainPatternsAgreeWithTheSqliteShell) {
  filetest::ScratchFolder folder;
  const std::string out = folder / "answers.txt";
  std::ostringstream sql;
  sql << ".output " << httptest::HostPath(out) << "\n";
  for (const auto& p : kShared) sql << "SELECT '" << p.text << "' LIKE '" << p.pattern << "';";
  const std::string script = folder / "like.sql";
  ASSERT_TRUE(filetest::WriteTextFile(script, sql.str()));
  const std::string shell = "Z:\\usr\\bin\\sqlite3";
  if (GetFileAttributesA(shell.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no sqlite3 shell";
  std::string command = shell + " :memory: \".read " + httptest::HostPath(script) + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  WaitForSingleObject(process.hProcess, 15000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  std::vector<int> shellAnswers;
  for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(50)) {
    std::ifstream in(out);
    shellAnswers.clear();
    for (int v; in >> v;) shellAnswers.push_back(v);
    if (shellAnswers.size() == sizeof kShared / sizeof kShared[0]) break;
  }
  ASSERT_EQ(sizeof kShared / sizeof kShared[0], shellAnswers.size()) << "the shell answered every pattern";
  for (size_t i = 0; i < shellAnswers.size(); ++i)
    EXPECT_EQ(shellAnswers[i], LikeInDatabase(kShared[i].pattern, kShared[i].text))
        << kShared[i].pattern << " / " << kShared[i].text;
}

TEST(CustomLike, OptionCharactersAndWildcardListsChangeTheComparison) {
  struct Case {
    const char* pattern;
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"%ban", "Banana", 1},             // the last character goes too: "ba" is searched for
      {"%xn", "Banana", 0},                // only "x" is searched for
      {"*%ao%", "S\xC3\xA3o Paulo", 1},  // accents go from both sides (UTF-8 text)
      {"%ao%", "S\xC3\xA3o Paulo", 0},
      {"#abc", "a-b.c", 1},
      {"#*abc", "\xC3\xA1-b.c", 1},
      {"abc", "a-b.c", 0},
      {"$^ban*", "banana", 1},
      {"$*ana", "banana", 1},
      {"$x*", "banana", 0},
      {"$ban*", "Banana", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, LikeInDatabase(c.pattern, c.text)) << c.pattern << " / " << c.text;
}

TEST(CustomLike, NullArgumentsDoNotMatch) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db));
  ASSERT_EQ(SQLITE_OK, ZEQSQLiteInstallCustomLike(db));
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT NULL LIKE '%a%', 'a' LIKE NULL", -1, &statement, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(statement));
  EXPECT_EQ(0, sqlite3_column_int(statement, 0));
  EXPECT_EQ(SQLITE_INTEGER, sqlite3_column_type(statement, 1));
  EXPECT_EQ(0, sqlite3_column_int(statement, 1));
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

TEST(CustomLike, StripNonAlnumKeepsLettersAndDigits) {
  char text[] = "a-1 b_2.c!";
  EXPECT_STREQ("a1b2c", StripNonAlnum(text));
  EXPECT_EQ(nullptr, StripNonAlnum(nullptr));
}

}  // namespace
