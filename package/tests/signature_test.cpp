// Executables signed here from a copy of a test program: the signature
// resource read back, the embedded package opened, tampered and truncated
// signatures refused (also by the program's own start-up check).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "package/signature.h"
#include "package_test_support.h"

namespace {

class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSignatureRetryPause(0);
    folder_ = PackageTestFolder("sign");
    exe_ = folder_ + "\\starter.exe";
    ASSERT_TRUE(CopyFileA(ZEQPKG_STARTER, exe_.c_str(), FALSE));
  }
  void TearDown() override { SetSignatureRetryPause(1000); }

  std::string WriteFile(const char* name, const std::string& bytes) {
    const std::string path = folder_ + "\\" + name;
    WriteWholeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return path;
  }
  std::string PackageImage(const char* password) {
    const std::string path = folder_ + "\\app.zpk";
    ZEQPackageDATA* made = ZEQPackageCreate(0xE, path.c_str(), ZEQPKG_TYPE_MULTIPLE, password);
    EXPECT_TRUE(ZEQPackageAddData(made, "\\index.html", "1", "<html/>", 7));
    EXPECT_TRUE(ZEQPackageClose(made, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(made);
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  }
  bool Sign(const std::string& attachment, bool asFile, uint32_t flags, const char* password = "") {
    KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
    d->flags = flags;
    lstrcpynA(d->data.packagePassword, password, sizeof(d->data.packagePassword));
    lstrcpynA(d->data.loaderPath, "\\index.html", sizeof(d->data.loaderPath));
    const bool ok = asFile ? KESTOSign(exe_.c_str(), nullptr, d, attachment.c_str(), 0, 0)
                           : KESTOSign(exe_.c_str(), nullptr, d, attachment.data(), DWORD(attachment.size()), 0);
    KESTOSignatureDescriptorFree(d);
    return ok;
  }
  std::vector<uint8_t> Resource(KESTOSignatureDescriptor* d) {
    uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!KESTOGetSignature(exe_.c_str(), d, &bytes, &size)) return {};
    std::vector<uint8_t> copy(bytes, bytes + size);
    HeapFreeZ(bytes);
    return copy;
  }
  // Runs the signed program; its exit code.
  DWORD Start() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + exe_ + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return 0xFFFF;
    DWORD code = 0xFFFE;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }
  std::string folder_, exe_;
};

TEST_F(Signing, PayloadsArePaddedToWholeBlocksWithTheirCount) {
  const struct {
    const char* name;
    const char* file;
    std::string content;
    uint32_t type;
    size_t padding;
  } cases[] = {{"13 bytes of script get 3 bytes of 3", "a.js", "var x = 1;\r\n;", kSignaturePayloadScript, 3},
               {"16 bytes of page get 8 bytes of 8", "b.html", "<html>16 b</html", kSignaturePayloadPage, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Sign(WriteFile(c.file, c.content), true, 0));
    KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
    const std::vector<uint8_t> resource = Resource(d);
    ASSERT_EQ(resource.size(), c.content.size() + c.padding + kSignatureGapSize + kSignatureDescriptorSize);
    EXPECT_EQ(d->kind, kSignatureKindAttached);
    EXPECT_EQ(d->payloadType, c.type);
    EXPECT_EQ(d->payloadLength, c.content.size() + c.padding);
    EXPECT_EQ(d->flags, kSignatureFlagGap);
    EXPECT_EQ(std::string(d->data.loaderPath), "\\index.html");
    EXPECT_EQ(std::string(resource.begin(), resource.begin() + c.content.size()), c.content);
    for (size_t i = 0; i < c.padding; ++i) EXPECT_EQ(resource[c.content.size() + i], c.padding);
    KESTOSignatureDescriptorFree(d);
  }
  EXPECT_FALSE(Sign(WriteFile("c.txt", "text"), true, 0)) << "a file of another kind is refused";
}

TEST_F(Signing, TheEmbeddedPackageOpensWithItsPassword) {
  const std::string image = PackageImage("pw");
  ASSERT_TRUE(Sign(image, false, kSignatureFlagEnciphered, "descriptor"));
  KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
  const std::vector<uint8_t> resource = Resource(d);
  EXPECT_EQ(d->flags, kSignatureFlagGap) << "an enciphered package is not enciphered twice";
  EXPECT_EQ(std::string(resource.begin(), resource.begin() + image.size()), image);
  KESTOSignatureDescriptorFree(d);

  ZEQPackageDATA* package = KESTOGetEmbededPackage(exe_.c_str(), "pw");
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(package->header.FilesCount, 1u);
  ZEQPackageRelease(package);
  EXPECT_EQ(KESTOGetEmbededPackage(exe_.c_str(), "wrong"), nullptr);
}

TEST_F(Signing, ProgramsStartOnlyOnSoundSignatures) {
  EXPECT_EQ(Start(), 3u) << "an unsigned program starts unsigned";
  // The start-up check opens the package with the built-in key.
  const std::string image = PackageImage("");
  ASSERT_TRUE(Sign(image, false, 0));
  EXPECT_EQ(Start(), 0u);

  KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
  const std::vector<uint8_t> good = Resource(d);
  KESTOSignatureDescriptorFree(d);
  ASSERT_FALSE(good.empty());
  const size_t descriptor = good.size() - kSignatureDescriptorSize;
  const size_t padded = good.size() - kSignatureDescriptorSize - kSignatureGapSize;
  const struct {
    const char* name;
    void (*tamper)(std::vector<uint8_t>*, size_t descriptor, size_t padded);
  } cases[] = {
      {"a payload longer than the resource",
       [](std::vector<uint8_t>* b, size_t at, size_t) { uint32_t v = 0x7FFFFFF8; std::memcpy(&(*b)[at + 52], &v, 4); }},
      {"a payload length that is not whole blocks",
       [](std::vector<uint8_t>* b, size_t at, size_t) { (*b)[at + 52] += 1; }},
      {"a padding count of 0", [](std::vector<uint8_t>* b, size_t, size_t p) { (*b)[p - 1] = 0; }},
      {"a padding count of 9", [](std::vector<uint8_t>* b, size_t, size_t p) { (*b)[p - 1] = 9; }},
      {"a protected region that does not decipher to text",
       [](std::vector<uint8_t>* b, size_t at, size_t) { (*b)[at + 100] ^= 0x5A; }},
      {"a payload shorter than a package header",
       [](std::vector<uint8_t>* b, size_t at, size_t) { uint32_t v = 16; std::memcpy(&(*b)[at + 52], &v, 4); }},
      {"an unknown kind", [](std::vector<uint8_t>* b, size_t at, size_t) { (*b)[at + 48] = 7; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bad = good;
    c.tamper(&bad, descriptor, padded);
    ASSERT_TRUE(KESTOAddSignature(exe_.c_str(), nullptr, bad.data(), DWORD(bad.size())));
    EXPECT_EQ(KESTOGetEmbededPackage(exe_.c_str(), ""), nullptr);
    EXPECT_EQ(Start(), 2u);
  }
  // A resource cut shorter than a descriptor is no signature at all.
  ASSERT_TRUE(KESTOAddSignature(exe_.c_str(), nullptr, good.data() + good.size() - 100, 100));
  KESTOSignatureDescriptor* none = KESTOSignatureDescriptorCreate();
  EXPECT_FALSE(KESTOGetSignature(exe_.c_str(), none, nullptr, nullptr));
  KESTOSignatureDescriptorFree(none);
  EXPECT_EQ(Start(), 3u);
}

TEST_F(Signing, DroppedSignaturesAndIncompleteVersionsAreRefused) {
  ASSERT_TRUE(Sign(PackageImage(""), false, 0));
  ASSERT_TRUE(KESTODropSignature(exe_.c_str(), nullptr));
  KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
  EXPECT_FALSE(KESTOGetSignature(exe_.c_str(), d, nullptr, nullptr));
  KESTOVersionData version = {};
  lstrcpynA(version.version, "1.2.3", sizeof(version.version));
  EXPECT_FALSE(KESTOChangeVersion(exe_.c_str(), &version, nullptr));
  lstrcpynA(version.version, "1.2.3.4", sizeof(version.version));
  lstrcpynA(version.productName, "A product name longer than the one it replaces", sizeof(version.productName));
  EXPECT_TRUE(KESTOChangeVersion(exe_.c_str(), &version, nullptr));
  DWORD handle = 0;
  std::vector<uint8_t> block(GetFileVersionInfoSizeA(exe_.c_str(), &handle));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoA(exe_.c_str(), 0, DWORD(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&text),
                             &length));
  EXPECT_STREQ(text, "A product name longer than the one it replaces");
  KESTOSignatureDescriptorFree(d);
}

}  // namespace
