// What extraction does beyond writing entries as they are: plain data named
// in the store list written as a single-content package, failed entries
// offered to the package's extract-error handler (which may mend the cause
// and ask for another attempt), and the page that runs a script file.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "package/package_extract.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "extract_test_support.h"
#include "package_test_support.h"

namespace {

using namespace extract_test;

// The image's header flags and, opened with the password, its one content;
// "<no package>" when it does not open.
std::string SingleContent(const std::string& path, const char* password, uint32_t* flags) {
  ZEQPackageDATA* package = ZEQPackageOpen(path.c_str(), password, nullptr, 0);
  if (!package) return "<no package>";
  if (flags) *flags = package->header.Flags;
  std::string content = "<not single>";
  if (package->header.Type == ZEQPKG_TYPE_SINGLE &&
      ZEQPackageExtract(package, nullptr, nullptr, nullptr, "*", "", "", 0) == 0 && package->extracted)
    content.assign(reinterpret_cast<char*>(package->extracted), package->extractedLength);
  ZEQPackageRelease(package);
  return content;
}

TEST(ExtractWrapping, PlainDataInTheStoreListIsWrittenAsASingleContentPackage) {
  const struct {
    const char* name;
    const char* storeList;
    uint32_t options;
    uint32_t flags;  // of the written package; 0: the data is written plain
  } cases[] = {
      {"encrypt enciphers it under the extraction password", "*.txt", ZEQPKG_EXTRACT_ENCRYPT, ZEQPKG_ENCRYPT},
      {"compress compresses it", "*.txt", ZEQPKG_EXTRACT_COMPRESS, ZEQPKG_COMPRESS},
      {"both do both", "*.txt", ZEQPKG_EXTRACT_ENCRYPT | ZEQPKG_EXTRACT_COMPRESS, ZEQPKG_ENCRYPT | ZEQPKG_COMPRESS},
      {"a file outside the store list stays plain", "*.bin", ZEQPKG_EXTRACT_ENCRYPT, 0},
      {"a store list without an option stays plain", "*.txt", 0, 0},
  };
  const std::string data = "a text worth keeping, a text worth keeping, a text worth keeping";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch scratch("wrap");
    MakePackage(scratch.packages + "\\p.zpk", 0xE, {{"\\dir\\a.txt", '1', data}});
    ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, scratch.out.c_str(), "*", c.storeList, "fresh", c.options),
              0);
    ZEQPackageRelease(package);
    const std::string written = scratch.out + "\\dir\\a.txt";
    if (!c.flags) {
      EXPECT_EQ(Bytes(ReadWholeFile(written)), data);
      continue;
    }
    uint32_t flags = 0;
    EXPECT_EQ(SingleContent(written, "fresh", &flags), data);
    EXPECT_EQ(flags & (ZEQPKG_ENCRYPT | ZEQPKG_COMPRESS), c.flags);
    if (c.flags & ZEQPKG_ENCRYPT) {
      EXPECT_EQ(SingleContent(written, "pw", nullptr), "<no package>");
    }
  }
}

TEST(ExtractWrapping, DataWrappedIntoTheMountListIsMountedAsThePackage) {
  Scratch scratch("wrapmount");
  GetVirtualRootFolder(VirtualRootBuffer());
  VFSClearMounts();
  MakePackage(scratch.packages + "\\p.zpk", 0xE, {{"\\a.txt", '1', "mounted text"}, {"\\b.css", '1', "b {}"}});
  ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
  ASSERT_NE(package, nullptr);
  const std::string target = std::string(VirtualRootBuffer()) + "\\wrapped";
  EXPECT_EQ(ZEQPackageExtract(package, nullptr, VFSMountList(), target.c_str(), "*", "*.txt", "fresh",
                              ZEQPKG_EXTRACT_ENCRYPT),
            0);
  ZEQPackageRelease(package);
  auto mounted = [&](const char* name) {
    void* bytes = nullptr;
    DWORD size = 0;
    if (!ReadWholeFileExt(("zeq:" + target + name).c_str(), &bytes, &size)) return std::string("<none>");
    std::string text(static_cast<char*>(bytes), size);
    HeapFreeZ(bytes);
    return text;
  };
  // The mounted image is the package a file would have held.
  const std::string image = mounted("\\a.txt");
  WriteWholeFile(scratch.root + "\\image.zpk", std::vector<uint8_t>(image.begin(), image.end()));
  EXPECT_EQ(SingleContent(scratch.root + "\\image.zpk", "fresh", nullptr), "mounted text");
  EXPECT_EQ(mounted("\\b.css"), "b {}");
  VFSClearMounts();
}

// The extract-error handler of these tests: each call recorded, the answer
// given by the case (which may mend the cause first).
struct ErrorCall {
  int code;
  std::string output;
  std::string entry;
  bool operator==(const ErrorCall& o) const { return code == o.code && output == o.output && entry == o.entry; }
};
std::vector<ErrorCall> g_calls;
std::function<int(size_t)> g_answer;

int RecordingHandler(ZEQPackageDATA*, const char* output, const char* entry, int code) {
  g_calls.push_back({code, output, entry});
  return g_answer ? g_answer(g_calls.size()) : 0;
}

std::ostream& operator<<(std::ostream& out, const ErrorCall& c) {
  return out << "{" << c.code << ", " << c.output << ", " << c.entry << "}";
}

class ExtractErrorEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    ZEQSetPackageExtractErrorEvent(RecordingHandler);
    g_calls.clear();
  }
  void TearDown() override {
    ZEQSetPackageExtractErrorEvent(nullptr);
    g_answer = nullptr;
  }
};

TEST_F(ExtractErrorEvent, TheHandlerIsAskedAboutEachFailureAndMayHaveTheEntryTriedAgain) {
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    uint32_t type;
    const char* target;  // under the scratch output folder
    uint32_t options;
    uint32_t cookie;
    // Answers the nth call (from 1); may mend the cause in the scratch
    // folder first.
    std::function<int(size_t, const Scratch&)> answer;
    int code;
    std::vector<ErrorCall> calls;  // "%out%" stands for the output folder
    std::map<std::string, std::string> files;
  };
  const std::vector<Case> cases = {
      {"a missing reference is tried again once the handler made the file",
       {{"\\dir\\:ref( late.txt )", '1', ""}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t, const Scratch& s) {
         WriteWholeFile(s.packages + "\\late.txt", {'L'});
         return 1;
       },
       0,
       {{ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE, "%out%\\dir\\late.txt", "\\dir\\:ref( late.txt )"}},
       {{"\\dir\\late.txt", "L"}}},
      {"a refusal ends the walk with the entry's code",
       {{"\\:ref( missing.txt )", '1', ""}, {"\\after.txt", '1', "A"}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t, const Scratch&) { return 0; },
       ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
       {{ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE, "%out%\\missing.txt", "\\:ref( missing.txt )"}},
       {}},
      {"the handler is asked again after every failed attempt",
       {{"\\:ref( missing.txt )", '1', ""}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t n, const Scratch&) { return n < 3 ? 1 : 0; },
       ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
       {{12, "%out%\\missing.txt", "\\:ref( missing.txt )"},
        {12, "%out%\\missing.txt", "\\:ref( missing.txt )"},
        {12, "%out%\\missing.txt", "\\:ref( missing.txt )"}},
       {}},
      {"a package without a handler asks nobody",
       {{"\\:ref( missing.txt )", '1', ""}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 0,
       [](size_t, const Scratch&) { return 1; },
       ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE,
       {},
       {}},
      {"nofail passes the entry without asking",
       {{"\\:ref( missing.txt ):opt( nofail )", '1', ""}, {"\\after.txt", '1', "A"}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t, const Scratch&) { return 1; },
       0,
       {},
       {{"\\after.txt", "A"}}},
      {"a refusal of an untrusted entry is final",
       {{"\\..\\escape.txt", '1', "E"}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t, const Scratch&) { return 1; },
       ZEQPKG_EXTRACT_ERROR_UNTRUSTED,
       {},
       {}},
      {"a folder that cannot be made is offered with its own code",
       {{"\\blocked", '0', ""}, {"\\blocked\\in.txt", '1', "I"}},
       ZEQPKG_TYPE_MULTIPLE, "", 0, 7,
       [](size_t, const Scratch& s) {
         DeleteFileA((s.out + "\\blocked").c_str());
         return 1;
       },
       0,
       {{ZEQPKG_EXTRACT_ERROR_CREATEFOLDER, "%out%\\blocked", "\\blocked"}},
       {{"\\blocked\\in.txt", "I"}}},
      {"a single content is tried again from its start",
       {{"", '1', "whole"}},
       ZEQPKG_TYPE_SINGLE, "\\single.bin", ZEQPKG_EXTRACT_FILE, 7,
       [](size_t, const Scratch& s) {
         RemoveDirectoryA((s.out + "\\single.bin").c_str());
         return 1;
       },
       0,
       {{ZEQPKG_EXTRACT_ERROR_CREATEFILE, "%out%\\single.bin", ""}},
       {{"\\single.bin", "whole"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch scratch("errorevent");
    // What stands in the way of the cases that fail on the disk.
    WriteWholeFile(scratch.out + "\\blocked", {'F'});
    CreateDirectoryA((scratch.out + "\\single.bin").c_str(), nullptr);
    MakePackage(scratch.packages + "\\p.zpk", 0x8, c.entries, "pw", c.type);
    ZEQPackageDATA* package = ZEQPackageOpen((scratch.packages + "\\p.zpk").c_str(), "pw", nullptr, 0);
    ASSERT_NE(package, nullptr);
    package->errorHandlerCookie = c.cookie;
    g_calls.clear();
    g_answer = [&](size_t n) { return c.answer(n, scratch); };
    const std::string target = scratch.out + c.target;
    EXPECT_EQ(ZEQPackageExtract(package, nullptr, nullptr, target.c_str(), "*", "", "pw", c.options), c.code);
    ZEQPackageRelease(package);
    std::vector<ErrorCall> expected = c.calls;
    for (ErrorCall& call : expected) {
      const size_t mark = call.output.find("%out%");
      if (mark != std::string::npos) call.output.replace(mark, 5, scratch.out);
    }
    EXPECT_EQ(g_calls, expected);
    std::map<std::string, std::string> files;
    ListFiles(scratch.out, "", &files);
    files.erase("\\blocked");
    EXPECT_EQ(files, c.files);
  }
}

TEST(ExtractRuns, AScriptFileRunsInsideTheLoaderBlockOfAPageThatClosesItself) {
  const std::string page = zeqextract::ScriptRunPage("C:\\out\\run.js", "var ran = 1;\r\n</p>");
  EXPECT_EQ(page,
            "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<ZEQ:Initialize />\r\n"
            "<html><head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\">\r\n"
            "<title>C:\\out\\run.js</title>\r\n</head><body onload=\"window.external.ZEQCloseWindow( "
            "ZEQSELFCONTAINERID, '', 0 );\">\r\n<script language=\"javascript\" type=\"text/javascript\" "
            "defer=\"false\">\r\n\r\nZEQLOADER: {\r\nvar ran = 1;\r\n</p>\r\n}\r\n\r\n</script></body></html>");
}

TEST(ExtractRuns, FilesOfOtherKindsAreNotRun) {
  Scratch scratch("runs");
  const struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"a text file", "\\notes.txt"},
      {"a name without extension", "\\README"},
      {"an extension only in the folder name", "\\dir.js\\plain"},
      {"a missing program", "\\missing.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = scratch.out + c.file;
    if (std::string(c.file) != "\\missing.exe") {
      CreateDirectoryA((scratch.out + "\\dir.js").c_str(), nullptr);
      WriteWholeFile(path, {'x'});
    }
    EXPECT_FALSE(zeqextract::RunExtractedFile(path, "immediate"));
  }
}

}  // namespace
