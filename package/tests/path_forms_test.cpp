#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "package/paths.h"

namespace {

struct FormCase {
  const char* path;
  bool fileSystem;
  bool url;
};

TEST(PathForms, ClassifiesEveryForm) {
  const FormCase cases[] = {
      {"C:\\a\\b.txt", true, false},
      {"c:relative", true, false},
      {"zeq:C:\\a", true, false},
      {"ZEQ:d:/x", true, false},
      {"\\\\server\\share", true, false},
      {"//server/share", true, true},  // both: the file-system form wins
      {"zeq://server/share", true, true},
      {"file:///C:/a", true, false},
      {"FILE://host/x", true, false},
      {"http://h/a", false, true},
      {"HTTPS://h/a", false, true},
      {"zeq:www.example.com/a", false, true},
      {"Www.x", false, true},
      {"httpx://h", false, false},
      {"\\single\\rooted", false, false},
      {"relative\\path.js", false, false},
      {"1:\\digit-drive", false, false},
      {"zeq:", false, false},
      {"", false, false},
      {nullptr, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path ? c.path : "(null)");
    EXPECT_EQ(c.fileSystem, IsFileSystemPath(c.path) != 0);
    EXPECT_EQ(c.url, IsURLPath(c.path) != 0);
  }
}

TEST(PathForms, VirtualPrefixIsReadPastOrRemoved) {
  const char* text = "ZeQ:C:\\x";
  EXPECT_STREQ("C:\\x", SkipVirtualPrefix(text));
  EXPECT_STREQ("zeq", SkipVirtualPrefix("zeq"));
  EXPECT_EQ(nullptr, SkipVirtualPrefix(static_cast<const char*>(nullptr)));

  char keep[] = "zeq:abc";
  EXPECT_TRUE(StripVirtualPrefix(keep, FALSE));
  EXPECT_STREQ("zeq:abc", keep);
  EXPECT_TRUE(StripVirtualPrefix(keep, TRUE));
  EXPECT_STREQ("abc", keep);
  EXPECT_FALSE(StripVirtualPrefix(keep, TRUE));
  EXPECT_STREQ("abc", keep);
}

struct NormalCase {
  const char* path;
  const char* canonical;  // nullptr: no canonical form
};

// The canonical text that keys the mount list.
TEST(PathForms, SmartNormalizePathTable) {
  const NormalCase cases[] = {
      {"zeq:C:/app/pages/../main.html", "C:\\app\\main.html"},
      {"C:\\app\\.\\x\\", "C:\\app\\x\\"},
      {"file:///C:/My%20Docs/a.txt", "C:\\My Docs\\a.txt"},
      {"file://host/share/a.txt", "\\\\host\\share\\a.txt"},
      {"file:///C|/a", "C|\\a"},
      {"file:C:/x%41?q%41#y", "C:\\xA?q%41#y"},
      {"HTTP://Host\\a\\b", "HTTP://Host/a/b"},
      {"http://h/a/../b", "http://h/a/../b"},  // only backslash segments resolve
      {"//server/share/../x", "\\\\server\\x"},
      {"zeq:\\\\server\\share\\a\\..\\b", "\\\\server\\share\\b"},
      {"C:\\..\\..\\x", "C:\\x"},
      {"C:\\a\\b\\..", "C:\\a"},
      {"C:\\a\\b\\.", "C:\\a\\b"},
      {"C:\\a\\...\\b", "C:\\a\\...\\b"},
      {"C:\\a\\..b\\c", "C:\\a\\..b\\c"},
      {"C:\\a\\\\b\\..\\c", "C:\\a\\\\c"},
      {"\\a\\..\\..\\x", "\\x"},
      {"a\\..\\..\\b", "..\\b"},
      {".\\a", "a"},
      {"relative/x.js", "relative/x.js"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    char* result = SmartNormalizePath(c.path);
    ASSERT_NE(nullptr, result);
    EXPECT_STREQ(c.canonical, result);
    HeapFreeZ(result);
  }
}

TEST(PathForms, TooLongForACanonicalFormGivesNull) {
  const std::string fits = "C:\\" + std::string(256, 'a');  // 259 characters
  const std::string tooLong = fits + "b";
  char* ok = SmartNormalizePath(fits.c_str());
  ASSERT_NE(nullptr, ok);
  EXPECT_EQ(fits, ok);
  HeapFreeZ(ok);
  EXPECT_EQ(nullptr, SmartNormalizePath(tooLong.c_str()));
  // Segments that resolve away leave room again.
  char* shortened = SmartNormalizePath((fits + "\\..\\..\\x").c_str());
  ASSERT_NE(nullptr, shortened);
  EXPECT_STREQ("C:\\x", shortened);
  HeapFreeZ(shortened);
}

TEST(PathForms, InPlaceNormalisersKeepTheirForm) {
  char fs[64] = "zeq:C:/a/b";
  SmartNormalizePathInPlace(fs);
  EXPECT_STREQ("C:\\a\\b", fs);

  char url[64] = "www.x.com\\a";
  EXPECT_FALSE(NormalizePathToFSFormat(url));
  EXPECT_TRUE(NormalizePathToURLFormat(url));
  EXPECT_STREQ("www.x.com/a", url);

  // Called directly, the URL normaliser turns the shared form into a
  // "file:" URL of its UNC form.
  char both[64] = "//srv/share";
  EXPECT_TRUE(NormalizePathToURLFormat(both));
  EXPECT_STREQ("file://\\\\srv\\share", both);

  char neither[64] = "plain\\text";
  EXPECT_FALSE(NormalizePathToFSFormat(neither));
  EXPECT_FALSE(NormalizePathToURLFormat(neither));
  EXPECT_STREQ("plain\\text", neither);
}

TEST(PathForms, UrlEscapesTouchOnlyWhatTheyShould) {
  char text[] = "%41%4a%zz%2%20x?%41#%42";
  UnescapeUrlInPlace(text);
  EXPECT_STREQ("AJ%zz%2 x?%41#%42", text);

  char out[32];
  EXPECT_TRUE(EscapeUrlSpaces("a b  c%", out, sizeof out));
  EXPECT_STREQ("a%20b%20%20c%", out);
  EXPECT_FALSE(EscapeUrlSpaces("a b", out, 5));  // needs 6 bytes
  EXPECT_STREQ("", out);
  EXPECT_TRUE(EscapeUrlSpaces("a b", out, 6));
}

TEST(PathParts, ParentPath) {
  char parent[MAX_PATH];
  EXPECT_TRUE(GetParentPath("C:\\a\\b\\file.txt", parent, sizeof parent));
  EXPECT_STREQ("C:\\a\\b\\", parent);
  EXPECT_TRUE(GetParentPath("zeq:http://h/x/y.js", parent, sizeof parent));
  EXPECT_STREQ("zeq:http://h/x/", parent);
  EXPECT_TRUE(GetParentPath("C:/a/b", parent, sizeof parent));
  EXPECT_STREQ("C:\\a\\", parent);

  EXPECT_FALSE(GetParentPath("file.txt", parent, sizeof parent));  // neither form
  EXPECT_FALSE(GetParentPath("C:file.txt", parent, sizeof parent));  // no separator
  char small[8];
  EXPECT_FALSE(GetParentPath("C:\\abc\\d", small, 7));  // "C:\abc\" and its terminator need 8
  EXPECT_TRUE(GetParentPath("C:\\abc\\d", small, 8));
  EXPECT_STREQ("C:\\abc\\", small);
}

TEST(PathParts, FileName) {
  char name[MAX_PATH];
  EXPECT_TRUE(GetPathFileName("C:\\a\\blue.def", name));
  EXPECT_STREQ("blue.def", name);
  EXPECT_TRUE(GetPathFileName("https://h/p/page.html?x", name));
  EXPECT_STREQ("page.html?x", name);
  EXPECT_FALSE(GetPathFileName("C:nofolder", name));

  std::strcpy(name, "untouched");
  EXPECT_TRUE(GetPathFileName("no\\form", name));
  EXPECT_STREQ("untouched", name);

  // A 300-character name is cut before its extension to 259 characters.
  const std::string stem(295, 'n');
  EXPECT_TRUE(GetPathFileName(("C:\\d\\" + stem + ".html").c_str(), name));
  EXPECT_EQ(259u, std::strlen(name));
  EXPECT_EQ(std::string(254, 'n') + ".html", name);
  // Without an extension the name is cut at 259 characters.
  EXPECT_TRUE(GetPathFileName(("C:\\d\\" + std::string(300, 'z')).c_str(), name));
  EXPECT_EQ(std::string(259, 'z'), name);
}

TEST(PathParts, TrailingBackslashAndAnchors) {
  char a[] = "C:\\x\\\\";
  RemoveTrailingBackslash(a);
  EXPECT_STREQ("C:\\x\\", a);
  char empty[] = "";
  EXPECT_TRUE(RemoveTrailingBackslash(empty));

  char b[] = "C:\\app\\page.html";
  EXPECT_TRUE(CutPathAtAnchor(b));
  EXPECT_STREQ("C:\\app", b);
  // The last backslash before the '#' stays; only the anchor goes.
  char c[] = "C:\\app\\page.html#{frame}";
  EXPECT_TRUE(CutPathAtAnchor(c));
  EXPECT_STREQ("C:\\app\\page.html", c);
  // A backslash inside the anchor is cut there.
  char d[] = "page.html#{x}\\y";
  EXPECT_TRUE(CutPathAtAnchor(d));
  EXPECT_STREQ("page.html", d);
  char e[] = "name#{anchor}rest";
  EXPECT_TRUE(CutPathAtAnchor(e));
  EXPECT_STREQ("namerest", e);
  char none[] = "";
  EXPECT_FALSE(CutPathAtAnchor(none));
}

// The segment resolver against the results the shell's canonicaliser gives
// on Windows (the documented examples among them).
TEST(PathForms, CanonicalSegmentsTable) {
  const NormalCase cases[] = {
      {"A:\\name_1\\.\\name_2\\..\\name_3", "A:\\name_1\\name_3"},
      {"A:\\name_1\\..\\name_2\\.\\name_3", "A:\\name_2\\name_3"},
      {"A:\\name_1\\name_2\\.\\name_3\\..\\name_4", "A:\\name_1\\name_2\\name_4"},
      {"A:\\name_1\\.\\name_2\\.\\name_3\\..\\name_4\\..", "A:\\name_1\\name_2"},
      {"C:\\..", "C:\\"},
      {"C:\\a\\..\\", "C:\\"},
      {"C:a\\..\\b", "C:b"},
      {"\\\\srv", "\\\\srv"},
      {"..\\..\\x", "..\\..\\x"},
  };
  char out[MAX_PATH];
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_TRUE(CanonicalizePathSegments(c.path, out, sizeof out));
    EXPECT_STREQ(c.canonical, out);
  }
  EXPECT_FALSE(CanonicalizePathSegments("C:\\abcdef", out, 9));
  EXPECT_STREQ("", out);
  EXPECT_TRUE(CanonicalizePathSegments("C:\\abcdef", out, 10));
}

}  // namespace
