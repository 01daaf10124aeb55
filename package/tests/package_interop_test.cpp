// Packages exchanged with an independent writer and reader (a python3 script
// run by package/tests/interop/run.sh): the project opens the script's
// packages and writes the same variants for the script to check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "package_test_support.h"

namespace {

const char kPassword[] = "s3cret";
const char kCustom[] = "Pacote de teste \xA9";

std::vector<uint8_t> DataBytes() {
  std::vector<uint8_t> data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 3);
  return data;
}

std::vector<WalkedEntry> Recipe() {
  return {{'0', "\\a", {}},
          {'1', "\\a\\b.txt", {'a', 'b', 'c'}},
          {'1', "\\empty.js", {}},
          {'1', "\\bin\\data.bin", DataBytes()},
          {'1', "\\dir\\a.js:opt( spwd=abc )", {'/', '/', ' ', 'j', 's', '\r', '\n'}}};
}

struct Variant {
  const char* name;
  uint32_t type;
  uint32_t flags;
};
const Variant kVariants[] = {{"plain", 1, 0x0}, {"tagged", 1, 0x8}, {"comp", 1, 0xA},
                             {"enc", 1, 0x4},   {"both", 1, 0xE},   {"single", 0, 0x6}};

std::string InteropFolder() {
  const char* folder = std::getenv("ZEQPKG_INTEROP_DIR");
  return folder ? folder : "";
}

TEST(PackageInterop, OpensPackagesOfTheIndependentWriter) {
  const std::string folder = InteropFolder();
  if (folder.empty()) GTEST_SKIP() << "run through package/tests/interop/run.sh";
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    const std::string path = folder + "\\py_" + v.name + ".zpk";
    ZEQPackageDATA* package = ZEQPackageOpen(path.c_str(), kPassword, nullptr, 0);
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->header.Type, v.type);
    EXPECT_EQ(package->header.Flags, PackageStoredFlags(v.flags, v.type));
    EXPECT_STREQ(package->custom, kCustom);
    if (v.type == 0) {
      EXPECT_EQ(std::vector<uint8_t>(package->content, package->content + package->length), DataBytes());
    } else {
      int error = -1;
      EXPECT_EQ(WalkEntries(package->content, package->length, v.flags & ZEQPKG_TAGGED, &error), Recipe());
      EXPECT_EQ(error, 0);
      EXPECT_EQ(package->header.FilesCount, 4u);
      EXPECT_EQ(package->header.FilesSize, 5010.0);
    }
    ZEQPackageRelease(package);
  }
}

TEST(PackageInterop, WritesPackagesForTheIndependentReader) {
  const std::string folder = InteropFolder();
  if (folder.empty()) GTEST_SKIP() << "run through package/tests/interop/run.sh";
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    const std::string path = folder + "\\cpp_" + v.name + ".zpk";
    ZEQPackageDATA* package = ZEQPackageCreate(v.flags, path.c_str(), v.type, kPassword);
    ASSERT_NE(package, nullptr);
    ASSERT_TRUE(ZEQPackageSetCustom(package, kCustom));
    if (v.type == 0) {
      const std::vector<uint8_t> data = DataBytes();
      ASSERT_TRUE(ZEQPackageWriteFile(package, uint32_t(data.size()), data.data()));
    } else {
      for (const WalkedEntry& e : Recipe()) {
        const char type[2] = {e.type, 0};
        ASSERT_TRUE(ZEQPackageAddData(package, e.path.c_str(), type, e.data.data(), uint32_t(e.data.size())));
      }
    }
    EXPECT_TRUE(ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0));
    ZEQPackageRelease(package);
  }
}

}  // namespace
