// Each pure layer of the package library walked through every allocation
// of its main entry, failing each in turn: the only outcomes are success or
// the layer's own out-of-memory result, and no block is left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "allocation_sweep.h"
#include "foundation/heap.h"
#include "package/content_transforms.h"
#include "package/package_format.h"
#include "package/package_log.h"

namespace {

const char kKey[] = "0123456789abcdef0123456789abcdef";

std::vector<uint8_t> Page() {
  std::vector<uint8_t> page;
  for (int i = 0; i < 400; ++i) {
    const char line[] = "<div class=\"row\">package content</div>\r\n";
    page.insert(page.end(), line, line + sizeof(line) - 1);
  }
  return page;
}

uint8_t* HeapCopy(const std::vector<uint8_t>& bytes) {
  auto* buffer = static_cast<uint8_t*>(HeapAllocZ(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  return buffer;
}

// The failures' log lines are not the layers' blocks: the process log keeps
// lines in memory while it has no file.
struct AllocationFailures : ::testing::Test {
  void SetUp() override { wasLogging_ = PackageLogEnable(false); }
  void TearDown() override { PackageLogEnable(wasLogging_); }
  bool wasLogging_ = true;
};

// Encoding and decoding give null (the transforms' failure) when an
// allocation fails; the input buffer they took over is freed either way.
TEST_F(AllocationFailures, ContentTransformsFailCleanlyAtEveryAllocation) {
  const std::vector<uint8_t> page = Page();
  for (uint32_t flags : {ZEQPKG_COMPRESS, ZEQPKG_ENCRYPT, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT}) {
    SCOPED_TRACE(flags);
    // What a run without failures gives, made before the sweep: the runs
    // compare with it and keep nothing of their own.
    size_t encodedLength = page.size();
    uint8_t* once = ZEQPackageEncodeData(nullptr, HeapCopy(page), &encodedLength, kKey, flags);
    ASSERT_NE(nullptr, once);
    const std::vector<uint8_t> encoded(once, once + encodedLength);
    HeapFreeZ(once);

    const AllocationSweep encoding = SweepAllocationFailures([&](AllocationFault& fault) {
      uint8_t* buffer = HeapCopy(page);
      size_t length = page.size();
      fault.Arm();
      uint8_t* out = ZEQPackageEncodeData(nullptr, buffer, &length, kKey, flags);
      fault.Disarm();
      if (!out) {
        EXPECT_EQ(0u, length);
        return false;
      }
      EXPECT_TRUE(length == encoded.size() && std::memcmp(out, encoded.data(), length) == 0);
      HeapFreeZ(out);
      return true;
    });
    EXPECT_EQ(0u, encoding.thrown);

    const AllocationSweep decoding = SweepAllocationFailures([&](AllocationFault& fault) {
      uint8_t* buffer = HeapCopy(encoded);
      size_t length = encoded.size();
      fault.Arm();
      uint8_t* out = ZEQPackageDecodeData(nullptr, buffer, &length, kKey, flags);
      fault.Disarm();
      if (!out) {
        EXPECT_EQ(0u, length);
        return false;
      }
      EXPECT_TRUE(length == page.size() && std::memcmp(out, page.data(), length) == 0);
      HeapFreeZ(out);
      return true;
    });
    EXPECT_EQ(0u, decoding.thrown);
    // Inflating allocates its result: the sweep went through at least that.
    if (flags & ZEQPKG_COMPRESS) {
      EXPECT_GE(decoding.allocations, 1u);
    }
  }
}

// The entry path reader follows the heap's own rule: exhaustion reaches the
// caller as ZEQOutOfMemory, with nothing allocated.
TEST_F(AllocationFailures, EntryPathsLetExhaustionThroughAndKeepNothing) {
  const AllocationSweep sweep = SweepAllocationFailures([](AllocationFault& fault) {
    fault.Arm();
    char* path = PackageNormaliseEntryPath("/pages/main.htm", 15);
    fault.Disarm();
    EXPECT_STREQ("\\pages/main.htm", path);
    HeapFreeZ(path);
    return true;
  });
  EXPECT_EQ(sweep.allocations, sweep.thrown);
  EXPECT_GE(sweep.allocations, 1u);
}

}  // namespace
