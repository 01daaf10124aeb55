// The host object's file-system functions as page script calls them, over a
// scratch folder: results and codes of each call, the bytes they leave in
// files, and the formats of enciphered and Base64 files checked by python3
// and coreutils.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "container_test_support.h"
#include "file_test_support.h"
#include "host/browser_container.h"
#include "host/file_functions.h"
#include "host/host_object.h"
#include "host_python.h"
#include "package/vfs.h"

namespace {

// A path as a JScript string literal's text.
std::wstring Js(const std::string& path) {
  std::wstring out;
  for (char c : path) {
    if (c == '\\') out += L"\\\\";
    else out += wchar_t(static_cast<unsigned char>(c));
  }
  return out;
}

constexpr char kHelpers[] =
    "var helpers = 1;";

class FileFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    container_test::SetUpContainers();
    ZEQInstallFileSystemFunctions();
    ZEQInstallHostObject();
    window_ = pages_.Open(WB_ALLOWSZEQ, kHelpers);
    ASSERT_NE(nullptr, window_);
    ASSERT_EQ(S_OK, container_test::PageExec(window_, L"x = window.external; D = '" + Js(folder_.path()) + L"';"));
  }
  void TearDown() override {
    pages_.Close();
    ZEQRegisterHostMemberTable(KestoMemberTable::kFileSystemFunctions, nullptr);
    container_test::UseRecorderAsHostObject();
    OleUninitialize();
  }

  std::string Eval(const std::wstring& expression) {
    return container_test::Narrow(pages_.Evaluate(window_, expression));
  }
  void Run(const std::wstring& code) { ASSERT_EQ(S_OK, container_test::PageExec(window_, code)) << code.c_str(); }

  template <size_t N>
  void RunCases(const host_test::ScriptCase (&cases)[N]) {
    host_test::ExpectScriptCases(cases, [this](const wchar_t* expression) { return Eval(expression); });
  }

  filetest::ScratchFolder folder_;
  container_test::ContainerPages pages_;
  HWND window_ = nullptr;
};

TEST_F(FileFunctions, FileAndFolderOperationsAnswerTheirResultArraysAndCodes) {
  const host_test::ScriptCase cases[] = {
      {"text file written", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\a.txt', 'hello', 1)).toArray().join('|')", "0"},
      {"a file is a file", L"x.ZEQIsFSFile(D + '\\\\a.txt')", "0"},
      {"a folder is no file", L"x.ZEQIsFSFile(D)", "104"},
      {"a folder is a folder", L"x.ZEQIsFSDirectory(D)", "0"},
      {"a file is no folder", L"x.ZEQIsFSDirectory(D + '\\\\a.txt')", "104"},
      {"file copied", L"new VBArray(x.ZEQCopyFSFile(D + '\\\\a.txt', D + '\\\\b.txt')).toArray().join('|')", "0"},
      {"copy read back", L"new VBArray(x.ZEQReadTextFile(D + '\\\\b.txt', 1)).toArray().join('|')", "0|hello|0"},
      {"file moved", L"new VBArray(x.ZEQMoveFSFile(D + '\\\\b.txt', D + '\\\\c.txt')).toArray().join('|')", "0"},
      {"moved file gone", L"x.ZEQIsFSFile(D + '\\\\b.txt')", "104"},
      {"file deleted", L"new VBArray(x.ZEQDeleteFSFile(D + '\\\\c.txt')).toArray().join('|')", "0"},
      {"missing file not deleted", L"new VBArray(x.ZEQDeleteFSFile(D + '\\\\c.txt')).toArray().join('|')", "2|2"},
      {"missing file not copied", L"new VBArray(x.ZEQCopyFSFile(D + '\\\\c.txt', D + '\\\\d.txt')).toArray().join('|')", "2|2"},
      {"folder made", L"new VBArray(x.ZEQCreateDirectory(D + '\\\\sub')).toArray().join('|')", "0"},
      {"parent folders made", L"new VBArray(x.ZEQCreateParentDirectory(D + '\\\\p1\\\\p2\\\\f.txt')).toArray().join('|')", "0"},
      {"parent exists", L"x.ZEQIsFSDirectory(D + '\\\\p1\\\\p2')", "0"},
      {"tree copied", L"(x.ZEQWriteTextFile(D + '\\\\p1\\\\p2\\\\f.txt', 'f'), new VBArray(x.ZEQCopyDirectory(D + '\\\\p1', D + '\\\\p3', '')).toArray().join('|'))", "0"},
      {"copied file there", L"x.ZEQIsFSFile(D + '\\\\p3\\\\p2\\\\f.txt')", "0"},
      {"tree moved", L"new VBArray(x.ZEQMoveDirectory(D + '\\\\p3', D + '\\\\p4')).toArray().join('|')", "0"},
      {"moved tree gone", L"x.ZEQIsFSDirectory(D + '\\\\p3')", "104"},
      {"tree deleted", L"new VBArray(x.ZEQDeleteDirectory(D + '\\\\p4', '', '')).toArray().join('|')", "0"},
      {"deleted tree gone", L"x.ZEQIsFSDirectory(D + '\\\\p4')", "104"},
      {"read-only set", L"new VBArray(x.ZEQSetFSAttributes(D + '\\\\a.txt', 0x04)).toArray().join('|')", "0"},
      {"read-only read", L"new VBArray(x.ZEQGetFSAttributes(D + '\\\\a.txt')).toArray()[1] & 0x04", "4"},
      {"read-only cleared", L"new VBArray(x.ZEQSetFSAttributes(D + '\\\\a.txt', 0x01)).toArray().join('|')", "0"},
      {"read-only gone", L"new VBArray(x.ZEQGetFSAttributes(D + '\\\\a.txt')).toArray()[1] & 0x04", "0"},
      {"attributes of nothing", L"new VBArray(x.ZEQGetFSAttributes(D + '\\\\none')).toArray().join('|')", "2|2"},
      {"valid path", L"x.ZEQValidateFSPathName('C:\\\\a\\\\b.txt')", "0"},
      {"path with a second colon", L"x.ZEQValidateFSPathName('C:\\\\a:b')", "2"},
      {"relative path", L"x.ZEQValidateFSPathName('a\\\\b')", "2"},
      {"path with a wildcard", L"x.ZEQValidateFSPathName('C:\\\\a*')", "2"},
      {"valid name", L"x.ZEQValidateFSFileName('a b.txt')", "0"},
      {"name with a separator", L"x.ZEQValidateFSFileName('a/b')", "2"},
      {"name with a colon", L"x.ZEQValidateFSFileName('a:b')", "2"},
      {"same path another way", L"x.ZEQIsSameFSFullPath(D + '\\\\a.txt', D + '\\\\sub\\\\..\\\\A.TXT')", "0"},
      {"different paths", L"x.ZEQIsSameFSFullPath(D + '\\\\a.txt', D + '\\\\sub')", "2"},
      {"path canonicalised", L"new VBArray(x.ZEQPathCanonicalize('C:\\\\x\\\\..\\\\y\\\\.\\\\z')).toArray().join('|')", "0|C:\\y\\z"},
      {"temporary name with an argument", L"x.ZEQGetFSTemporaryFileName(1)", "error:8002000e"},
      {"delete without its path", L"x.ZEQDeleteFSFile()", "error:8002000e"},
      {"copy with three arguments", L"x.ZEQCopyFSFile('a', 'b', 'c')", "error:8002000e"},
      {"function read as a property", L"x.ZEQIsFSFile", "error:80020003"},
      {"file information", L"new VBArray(x.ZEQGetFSInfo(D + '\\\\a.txt', 0)).toArray().slice(0, 5).join('|')", "0|false|5|0|0"},
      {"folder information", L"new VBArray(x.ZEQGetFSInfo(D + '\\\\p1', 1)).toArray().slice(0, 5).join('|')", "0|true|1|1|1"},
      {"information of nothing", L"new VBArray(x.ZEQGetFSInfo(D + '\\\\none', 0)).toArray().join('|')", "2|2"},
      {"unknown device", L"new VBArray(x.ZEQVolDevToVolDrv('\\\\Device\\\\NoSuchVolume')).toArray().join('|')", "2"},
  };
  RunCases(cases);
  const std::string made = Eval(L"new VBArray(x.ZEQGetFSTemporaryFileName()).toArray().join('|')");
  ASSERT_EQ(0u, made.rfind("0|", 0)) << made;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(made.substr(2).c_str())) << made;
  DeleteFileA(made.substr(2).c_str());
  const std::string folder = Eval(L"new VBArray(x.ZEQGetFSTemporaryFolderName()).toArray().join('|')");
  ASSERT_EQ(0u, folder.rfind("0|", 0)) << folder;
  EXPECT_TRUE(GetFileAttributesA(folder.substr(2).c_str()) & FILE_ATTRIBUTE_DIRECTORY) << folder;
  RemoveDirectoryA(folder.substr(2).c_str());
}

TEST_F(FileFunctions, ChildrenAreListedFolderFirstAndFilesAreFoundByAge) {
  folder_.Write("e\\s\\f.txt", "f");
  folder_.Write("age\\one.log", "1");
  Sleep(20);
  folder_.Write("age\\two.log", "2");
  Sleep(20);
  folder_.Write("age\\deep\\three.log", "3");
  const std::string e = folder_ / "e";
  EXPECT_EQ("0|folder://" + e + "\\s|file://" + e + "\\s\\f.txt", Eval(L"new VBArray(x.ZEQEnumFSChildren(D + '\\\\e', 1)).toArray().join('|')"));
  EXPECT_EQ("0|folder://" + e + "\\s", Eval(L"new VBArray(x.ZEQEnumFSChildren(D + '\\\\e', 0)).toArray().join('|')"));
  EXPECT_EQ("2|3", Eval(L"new VBArray(x.ZEQEnumFSChildren(D + '\\\\none', 0)).toArray().join('|')"));
  struct AgeCase {
    const char* name;
    const wchar_t* expression;
    std::string path;
  };
  const AgeCase cases[] = {
      {"oldest", L"new VBArray(x.ZEQGetFileByAge(D + '\\\\age', '*.log', 3)).toArray()[1]", folder_ / "age\\one.log"},
      {"newest of the tree", L"new VBArray(x.ZEQGetFileByAge(D + '\\\\age', '*.log', 5)).toArray()[1]", folder_ / "age\\deep\\three.log"},
      {"newest at the top", L"new VBArray(x.ZEQGetFileByAge(D + '\\\\age\\\\', '*.log', 4)).toArray()[1]", folder_ / "age\\two.log"},
      {"no match", L"new VBArray(x.ZEQGetFileByAge(D + '\\\\age', '*.txt', 5)).toArray().join('|')", "2"},
  };
  for (const AgeCase& c : cases) EXPECT_EQ(c.path, Eval(c.expression)) << c.name;
  const std::string stamp = Eval(L"new VBArray(x.ZEQGetFileByAge(D + '\\\\age', '*.log', 3)).toArray()[2]");
  EXPECT_EQ(19u, stamp.size()) << stamp;
  EXPECT_EQ('/', stamp[2]) << stamp;
}

TEST_F(FileFunctions, StreamsReadWriteSeekAndCloseOnce) {
  Run(L"var s = new VBArray(x.ZEQCreateEmptyFSStream(D + '\\\\s.bin')).toArray()[1];");
  const host_test::ScriptCase cases[] = {
      {"written", L"new VBArray(x.ZEQWriteFSStream(s, 'abcdef')).toArray().join('|')", "0"},
      {"rewound", L"new VBArray(x.ZEQSetFSStreamPointer(s, 0, 0)).toArray().join('|')", "0|0"},
      {"three bytes", L"new VBArray(x.ZEQReadFSStream(s, 3)).toArray().join('|')", "0|abc"},
      {"the rest", L"new VBArray(x.ZEQReadFSStream(s, -1)).toArray().join('|')", "0|def"},
      {"at the end", L"new VBArray(x.ZEQReadFSStream(s, 4)).toArray().join('|')", "107"},
      {"from the end", L"new VBArray(x.ZEQSetFSStreamPointer(s, -4, 2)).toArray().join('|')", "0|2"},
      {"cut there", L"new VBArray(x.ZEQSetEndOfFSStream(s)).toArray().join('|')", "0"},
      {"flushed", L"new VBArray(x.ZEQFlushFSStream(s)).toArray().join('|')", "0"},
      {"before the start", L"new VBArray(x.ZEQSetFSStreamPointer(s, -10, 0)).toArray().join('|')", "2|131"},
      {"closed", L"x.ZEQCloseFSStream(s)", "0"},
      {"closed twice", L"x.ZEQCloseFSStream(s)", "2"},
      {"read after closing", L"new VBArray(x.ZEQReadFSStream(s, 1)).toArray().join('|')", "2"},
      {"close of a number", L"x.ZEQCloseFSStream(5)", "2"},
      {"write to a number", L"new VBArray(x.ZEQWriteFSStream(5, 'a')).toArray().join('|')", "2"},
      {"open of a missing file", L"new VBArray(x.ZEQOpenFSStream(D + '\\\\none', 1)).toArray().join('|')", "2|2"},
      {"empty path", L"new VBArray(x.ZEQCreateEmptyFSStream('')).toArray().join('|')", "2"},
  };
  RunCases(cases);
  EXPECT_EQ("ab", filetest::ReadTextFile(folder_ / "s.bin"));

  Run(L"var t = new VBArray(x.ZEQCreateFSStreamByContents('xyz')).toArray();");
  const std::string name = Eval(L"t[2]");
  EXPECT_EQ("0", Eval(L"t[0]"));
  EXPECT_EQ("0|1", Eval(L"new VBArray(x.ZEQSetFSStreamPointer(t[1], 1, 0)).toArray().join('|')"));
  EXPECT_EQ("0|yz", Eval(L"new VBArray(x.ZEQReadFSStream(t[1], -1)).toArray().join('|')"));
  EXPECT_EQ("0", Eval(L"x.ZEQCloseFSStream(t[1])"));
  EXPECT_EQ("xyz", filetest::ReadTextFile(name));
  DeleteFileA(name.c_str());
}

TEST_F(FileFunctions, AMountedFileOpensAsAReadOnlyStream) {
  const std::string path = "C:\\zeqmounted\\page.txt";
  ASSERT_TRUE(VFSMountFile(path.c_str(), "mounted data", 12));
  Run(L"var m = new VBArray(x.ZEQOpenFSStream('C:\\\\zeqmounted\\\\page.txt', 1)).toArray()[1];");
  EXPECT_EQ("0|mounted data", Eval(L"new VBArray(x.ZEQReadFSStream(m, -1)).toArray().join('|')"));
  EXPECT_EQ("2|6", Eval(L"new VBArray(x.ZEQWriteFSStream(m, 'a')).toArray().join('|')"));
  EXPECT_EQ("0|21", Eval(L"new VBArray(x.ZEQGetFSAttributes('C:\\\\zeqmounted\\\\page.txt')).toArray().join('|')"));
  EXPECT_EQ("0", Eval(L"x.ZEQIsFSFile('C:\\\\zeqmounted\\\\page.txt')"));
  EXPECT_EQ("0", Eval(L"x.ZEQCloseFSStream(m)"));
  VFSClearMounts();
}

TEST_F(FileFunctions, TextFilesAreWrittenInTheEncodingTheFlagsAsk) {
  struct WriteCase {
    const char* name;
    const wchar_t* expression;
    const char* result;
    std::string bytes;
  };
  const WriteCase cases[] = {
      {"ANSI", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'hi', 1)).toArray().join('|')", "0", "hi"},
      {"no flags is ANSI", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'hi')).toArray().join('|')", "0", "hi"},
      {"UTF-8", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'h\\u00e9', 2)).toArray().join('|')", "0", "h\xC3\xA9"},
      {"UTF-8 with a mark", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'h\\u00e9', 0x80000002)).toArray().join('|')", "0", "\xEF\xBB\xBFh\xC3\xA9"},
      {"UTF-16", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'h\\u00e9', 4)).toArray().join('|')", "0", std::string("h\0\xE9\0", 4)},
      {"UTF-16 with a mark", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'h', 0x80000004)).toArray().join('|')", "0", std::string("\xFF\xFEh\0", 4)},
      {"byte values", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', x.ZEQGetVersion(), 0)).toArray().join('|')", "0",
       std::string("\0\x03\x07\x79\x02\x05\0", 7)},
      {"no conversion writes nothing and keeps the file", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\t', 'gone', 8)).toArray().join('|')", "2",
       std::string("\0\x03\x07\x79\x02\x05\0", 7)},
      {"into a missing folder", L"new VBArray(x.ZEQWriteTextFile(D + '\\\\none\\\\t', 'a', 1)).toArray().join('|')", "2|3",
       std::string("\0\x03\x07\x79\x02\x05\0", 7)},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(std::string(c.result), Eval(c.expression)) << c.name;
    EXPECT_EQ(c.bytes, filetest::ReadTextFile(folder_ / "t")) << c.name;
  }
  folder_.Write("u8", "\xEF\xBB\xBFh\xC3\xA9");
  EXPECT_EQ("0|h\xE9|2147483650", Eval(L"new VBArray(x.ZEQReadTextFile(D + '\\\\u8', 4)).toArray().join('|')"));
  EXPECT_EQ("0|h\xC3\xA9|0", Eval(L"new VBArray(x.ZEQReadTextFile(D + '\\\\u8', 8)).toArray().join('|').replace('\\ufeff', '').replace('\\u00ef\\u00bb\\u00bf', '')"));
  EXPECT_EQ("2|2", Eval(L"new VBArray(x.ZEQReadTextFile(D + '\\\\none', 1)).toArray().join('|')"));
}

// python3 with pycryptodome reads and writes the enciphered format.
constexpr char kCipherScript[] = R"(
import os, struct, sys
from Cryptodome.Cipher import Blowfish
d = sys.argv[1]
def chunks(data):
    return [data[i:i + 65536] for i in range(0, len(data), 65536)]
def cipher(key, mode):
    if mode == 'ecb':
        return Blowfish.new(key, Blowfish.MODE_ECB)
    return Blowfish.new(key, Blowfish.MODE_CBC, iv=bytes(8))
def pad(c):
    return c + bytes(-len(c) % 8)
for name in os.listdir(d):
    if not name.endswith('.enc'):
        continue
    mode = name.split('.')[-2]
    data = open(os.path.join(d, name), 'rb').read()
    length = struct.unpack('<I', data[:4])[0]
    plain = b''.join(cipher(b'secret key', mode).decrypt(c) for c in chunks(data[4:]))[:length]
    open(os.path.join(d, name + '.plain'), 'wb').write(plain)
source = open(os.path.join(d, 'big.bin'), 'rb').read()
out = struct.pack('<I', len(source)) + b''.join(cipher(b'secret key', 'cbc').encrypt(pad(c)) for c in chunks(source))
open(os.path.join(d, 'python.cbc.bin'), 'wb').write(out)
)";

std::string PatternBytes(size_t count) {
  std::string bytes(count, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245 + 12345;
    c = char(state >> 16);
  }
  return bytes;
}

TEST_F(FileFunctions, EncipheredFilesAreReadByPythonAndItsFilesDeciphered) {
  pytest::HostPython python;
  const auto& d = python.folder();
  d.Write("small.bin", "0123456789");
  d.Write("big.bin", PatternBytes(70000));
  Run(L"var P = '" + Js(d.path()) + L"';");
  const host_test::ScriptCase cases[] = {
      {"small, chaining", L"new VBArray(x.ZEQEncryptFile(P + '\\\\small.bin', P + '\\\\small.cbc.enc', 'secret key', 0)).toArray().join('|')", "0"},
      {"small, blocks", L"new VBArray(x.ZEQEncryptFile(P + '\\\\small.bin', P + '\\\\small.ecb.enc', 'secret key', 1)).toArray().join('|')", "0"},
      {"big, chaining", L"new VBArray(x.ZEQEncryptFile(P + '\\\\big.bin', P + '\\\\big.cbc.enc', 'secret key', 0)).toArray().join('|')", "0"},
      {"key too long", L"new VBArray(x.ZEQEncryptFile(P + '\\\\small.bin', P + '\\\\x', new Array(58).join('k'), 0)).toArray().join('|')", "2"},
      {"missing source", L"new VBArray(x.ZEQEncryptFile(P + '\\\\none', P + '\\\\x', 'k', 0)).toArray().join('|')", "2|2"},
  };
  RunCases(cases);
  EXPECT_EQ(20u, filetest::ReadTextFile(d / "small.cbc.enc").size());
  ASSERT_TRUE(python.Run(kCipherScript)) << python.problem();
  EXPECT_EQ("0123456789", filetest::ReadTextFile(d / "small.cbc.enc.plain"));
  EXPECT_EQ("0123456789", filetest::ReadTextFile(d / "small.ecb.enc.plain"));
  EXPECT_TRUE(PatternBytes(70000) == filetest::ReadTextFile(d / "big.cbc.enc.plain"));
  EXPECT_EQ("0", Eval(L"new VBArray(x.ZEQDecryptFile(P + '\\\\python.cbc.bin', P + '\\\\back.bin', 'secret key', 0)).toArray().join('|')"));
  EXPECT_TRUE(PatternBytes(70000) == filetest::ReadTextFile(d / "back.bin"));
  EXPECT_EQ("0", Eval(L"new VBArray(x.ZEQDecryptFile(P + '\\\\small.ecb.enc', P + '\\\\small.out', 'secret key', 1)).toArray().join('|')"));
  EXPECT_EQ("0123456789", filetest::ReadTextFile(d / "small.out"));
  // A header that claims more than the file holds is refused.
  d.Write("short.enc", std::string("\xFF\xFF\x00\x00", 4) + filetest::ReadTextFile(d / "small.cbc.enc").substr(4));
  EXPECT_EQ("2", Eval(L"new VBArray(x.ZEQDecryptFile(P + '\\\\short.enc', P + '\\\\short.out', 'secret key', 0)).toArray().join('|')"));
}

// coreutils base64 decodes what the host wrote and encodes what it reads.
constexpr char kBase64Script[] = R"(
import os, subprocess, sys
d = sys.argv[1]
for name in ('plain.b64', 'lines.b64', 'empty.b64'):
    with open(os.path.join(d, name), 'rb') as f:
        out = subprocess.run(['/usr/bin/base64', '-d', '-i'], stdin=f, capture_output=True)
    open(os.path.join(d, name + '.decoded'), 'wb').write(out.stdout if out.returncode == 0 else b'<failed>')
with open(os.path.join(d, 'data.bin'), 'rb') as f:
    out = subprocess.run(['/usr/bin/base64'], stdin=f, capture_output=True, check=True)
open(os.path.join(d, 'coreutils.b64'), 'wb').write(out.stdout)
)";

TEST_F(FileFunctions, Base64FilesMatchCoreutils) {
  pytest::HostPython python;
  const auto& d = python.folder();
  const std::string data = PatternBytes(70001);
  d.Write("data.bin", data);
  d.Write("empty.bin", "");
  Run(L"var P = '" + Js(d.path()) + L"';");
  const host_test::ScriptCase cases[] = {
      {"one line", L"new VBArray(x.ZEQConvertFileToBase64(P + '\\\\data.bin', P + '\\\\plain.b64', 0)).toArray().join('|')", "0"},
      {"76-character lines", L"new VBArray(x.ZEQConvertFileToBase64(P + '\\\\data.bin', P + '\\\\lines.b64', 2)).toArray().join('|')", "0"},
      {"empty file", L"new VBArray(x.ZEQConvertFileToBase64(P + '\\\\empty.bin', P + '\\\\empty.b64')).toArray().join('|')", "0"},
  };
  RunCases(cases);
  const std::string lines = filetest::ReadTextFile(d / "lines.b64");
  EXPECT_EQ("\r\n", lines.substr(76, 2));
  EXPECT_EQ(std::string::npos, filetest::ReadTextFile(d / "plain.b64").find('\n'));
  ASSERT_TRUE(python.Run(kBase64Script)) << python.problem();
  EXPECT_TRUE(data == filetest::ReadTextFile(d / "plain.b64.decoded"));
  EXPECT_TRUE(data == filetest::ReadTextFile(d / "lines.b64.decoded"));
  EXPECT_EQ("", filetest::ReadTextFile(d / "empty.b64.decoded"));
  EXPECT_EQ("0", Eval(L"new VBArray(x.ZEQConvertFileFromBase64(P + '\\\\coreutils.b64', P + '\\\\back.bin')).toArray().join('|')"));
  EXPECT_TRUE(data == filetest::ReadTextFile(d / "back.bin"));
  d.Write("bad.b64", "QUJD*REVG");
  EXPECT_EQ("2", Eval(L"new VBArray(x.ZEQConvertFileFromBase64(P + '\\\\bad.b64', P + '\\\\bad.bin', 0)).toArray().join('|')"));
}

}  // namespace
