#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/records.h"
#include "test_threads.h"

namespace {

struct Record {
  ZEQTypedRecord header;
  int payload[8];
};

// Two committed pages whose protections can be changed independently.
class TwoPages : public ::testing::Test {
 protected:
  void SetUp() override {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page = info.dwPageSize;
    base = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, base);
  }
  void TearDown() override { VirtualFree(base, 0, MEM_RELEASE); }
  void Protect(char* at, DWORD protection) {
    DWORD old;
    ASSERT_TRUE(VirtualProtect(at, page, protection, &old));
  }
  size_t page = 0;
  char* base = nullptr;
};

}  // namespace

TEST(TypeTag, PrefixCompareOfAtMost64Characters) {
  Record r = {};
  ZEQStampRecord(&r, "+LLITEMX", nullptr);
  std::string seventy(70, 'T');
  Record longTag = {};
  ZEQStampRecord(&longTag, seventy.c_str(), nullptr);
  EXPECT_EQ('\0', longTag.header.tag[64]);  // only 64 characters are copied

  struct Case {
    const char* tag;
    const void* record;
    bool expected;
  } cases[] = {
      {"+LLITEM", &r, true},     // the record's tag continues after it
      {"+LLITEMX", &r, true},
      {"+LLITE", &r, true},      // a shorter tag text is a prefix too
      {"+LLITEMXY", &r, false},
      {"+ZEQTIMER", &r, false},
      {"", &r, true},            // empty tag: any readable record
      {seventy.c_str(), &longTag, true},
      {nullptr, &r, false},
      {"+LLITEM", nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, HasTypeTag(c.tag, c.record)) << (c.tag ? c.tag : "(null)");
  }
  Record shortTag = {};
  ZEQStampRecord(&shortTag, "+LLITE", nullptr);
  EXPECT_FALSE(HasTypeTag("+LLITEM", &shortTag));
  ZEQRetireRecord(&r);
  EXPECT_FALSE(HasTypeTag("+LLITEM", &r));
}

TEST(TypeTag, ValidatesHeapRecordsAndRejectsForeignOnes) {
  auto* good = static_cast<Record*>(HeapAllocZ(sizeof(Record)));
  ZEQStampRecord(good, "+ZEQTIMER", nullptr);
  auto* foreign = static_cast<Record*>(HeapAllocZ(sizeof(Record)));
  ZEQStampRecord(foreign, "+ZEQHANDLE", nullptr);
  EXPECT_TRUE(IsTaggedRecord(good, sizeof(Record), "+ZEQTIMER"));
  EXPECT_FALSE(IsTaggedRecord(foreign, sizeof(Record), "+ZEQTIMER"));
  EXPECT_FALSE(IsTaggedRecord(nullptr, sizeof(Record), "+ZEQTIMER"));
  // Code and read-only data of the module are not writable records.
  EXPECT_FALSE(IsWritableMemory(reinterpret_cast<const void*>(&HeapAllocZ), 16));
  EXPECT_FALSE(IsWritableMemory("+ZEQTIMER constant", 8));
  HeapFreeZ(good);
  HeapFreeZ(foreign);
}

TEST_F(TwoPages, DecommittedMemoryIsRejectedWithoutFault) {
  auto* r = reinterpret_cast<Record*>(base);
  ZEQStampRecord(r, "+ZEQTIMER", nullptr);
  ASSERT_TRUE(IsTaggedRecord(r, sizeof(Record), "+ZEQTIMER"));
  ASSERT_TRUE(VirtualFree(base, page, MEM_DECOMMIT));
  EXPECT_FALSE(IsWritableMemory(r, sizeof(Record)));
  EXPECT_FALSE(IsReadableMemory(r, 1));
  EXPECT_FALSE(HasTypeTag("+ZEQTIMER", r));
  EXPECT_FALSE(HasTypeTag("", r));
}

TEST_F(TwoPages, ProtectionDecidesWritability) {
  auto* r = reinterpret_cast<Record*>(base);
  ZEQStampRecord(r, "+ZEQTIMER", nullptr);
  struct Case {
    DWORD protection;
    bool writable;
    bool tagReadable;
  } cases[] = {
      {PAGE_READWRITE, true, true},
      {PAGE_EXECUTE_READWRITE, true, true},
      {PAGE_READONLY, false, true},
      {PAGE_EXECUTE_READ, false, true},
      {PAGE_NOACCESS, false, false},
      {PAGE_READWRITE | PAGE_GUARD, false, false},
  };
  for (const Case& c : cases) {
    Protect(base, c.protection);
    EXPECT_EQ(c.writable, IsWritableMemory(r, sizeof(Record))) << std::hex << c.protection;
    EXPECT_EQ(c.tagReadable, HasTypeTag("+ZEQTIMER", r)) << std::hex << c.protection;
  }
  Protect(base, PAGE_READWRITE);
}

TEST(TypeTag, CopyOnWriteViewIsWritable) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  ASSERT_NE(nullptr, mapping);
  void* view = MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, 4096);
  ASSERT_NE(nullptr, view);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(sizeof(info), VirtualQuery(view, &info, sizeof(info)));
  EXPECT_EQ(static_cast<DWORD>(PAGE_WRITECOPY), info.Protect);
  EXPECT_TRUE(IsWritableMemory(view, 64));
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}

// A record must lie in one region: its last byte may not spill into a
// neighbour with another protection, and the tag compare never reads a byte
// that is not readable.
TEST_F(TwoPages, RecordsCrossingARegionEdgeFail) {
  auto* crossing = reinterpret_cast<Record*>(base + page - 40);
  ZEQStampRecord(crossing, "+ZEQTIMER", nullptr);
  Protect(base + page, PAGE_READONLY);
  EXPECT_FALSE(IsWritableMemory(crossing, sizeof(Record)));
  EXPECT_TRUE(IsWritableMemory(crossing, 40));
  EXPECT_TRUE(HasTypeTag("+ZEQTIMER", crossing));
  auto* last = reinterpret_cast<Record*>(base + page - sizeof(Record));
  EXPECT_TRUE(IsWritableMemory(last, sizeof(Record)));

  // A tag that would run into an inaccessible page.
  Protect(base + page, PAGE_NOACCESS);
  char* edge = base + page - 4;
  memcpy(edge, "+ZEQ", 4);
  EXPECT_FALSE(HasTypeTag("+ZEQTIMER", edge));
  EXPECT_TRUE(HasTypeTag("+ZE", edge));
}

TEST(Serials, EachNumberedKindCountsOnItsOwn) {
  Record a = {}, b = {}, c = {}, plain = {};
  volatile long* apc = ZEQSerialCounter(ZEQSerialKind::ApcItem);
  volatile long* skin = ZEQSerialCounter(ZEQSerialKind::BaseSkin);
  const long skinBefore = *skin;
  ZEQStampRecord(&a, "+ZEQII", apc);
  ZEQStampRecord(&b, "+ZEQII", apc);
  ZEQStampRecord(&c, "+ZEQBASESKIN", skin);
  ZEQStampRecord(&plain, "+ZEQHANDLE", nullptr);
  EXPECT_GE(ZEQRecordSerial(&a), 1);
  EXPECT_EQ(ZEQRecordSerial(&a) + 1, ZEQRecordSerial(&b));
  EXPECT_EQ(skinBefore + 1, ZEQRecordSerial(&c));
  EXPECT_EQ(0, ZEQRecordSerial(&plain));
  EXPECT_NE(ZEQSerialCounter(ZEQSerialKind::SIP), apc);
}

TEST(Serials, ConcurrentStampsNeverRepeat) {
  constexpr int kThreads = 8;
  constexpr int kEach = 2000;
  std::vector<int32_t> seen[kThreads];
  ASSERT_TRUE(RunOnThreads(kThreads, [&seen](int t) {
    Record r = {};
    for (int i = 0; i < kEach; ++i) {
      ZEQStampRecord(&r, "+ZEQSIP", ZEQSerialCounter(ZEQSerialKind::SIP));
      seen[t].push_back(r.header.serial);
    }
  }));
  std::set<int32_t> all;
  for (const auto& serials : seen) all.insert(serials.begin(), serials.end());
  EXPECT_EQ(static_cast<size_t>(kThreads * kEach), all.size());
}
