#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/cbuffer.h"
#include "test_threads.h"

namespace {

struct Ring {
  ZEQCBuffer buffer{};
  explicit Ring(int32_t capacity) { ZEQCBuffer::Init(&buffer, capacity); }
  ~Ring() { ZEQCBuffer::FreeContents(&buffer); }
  void Write(const std::string& text) { ZEQCBuffer::Write(&buffer, text.data(), text.size()); }
  std::string Read(size_t length) {
    std::string out(length, '?');
    out.resize(ZEQCBuffer::Read(&buffer, &out[0], length));
    return out;
  }
};

TEST(CircularBuffer, StartsEmptyAndTagged) {
  Ring ring(16);
  EXPECT_TRUE(IsCBuffer(&ring.buffer));
  EXPECT_EQ(0, ring.buffer.header.serial);
  EXPECT_EQ(16, ring.buffer.capacity);
  EXPECT_EQ(0, ring.buffer.fill);
  EXPECT_STREQ("ZEQCBUFFER", ring.buffer.lock->name);
  EXPECT_EQ(4000u, ring.buffer.lock->spinCount);
}

struct WriteCase {
  const char* name;
  std::vector<std::string> writes;
  int32_t write, read, fill;
  std::string unread;
};

TEST(CircularBuffer, WritesWrapAndOverwriteTheOldestBytes) {
  const WriteCase cases[] = {
      {"a second write wraps and drops the two oldest bytes", {"abcdef", "ghijkl"}, 2, 2, 10, "cdefghijkl"},
      {"a write of exactly the room before the end leaves the write position at 0", {"abcd", "efghij"}, 0, 0, 10,
       "abcdefghij"},
      {"a write longer than the ring keeps its last bytes", {"abcdefghijklmnopqrstuvwxy"}, 5, 5, 10, "pqrstuvwxy"},
      {"a long write after unread bytes keeps only its own last bytes", {"abc", "abcdefghijklmnopqrstuvwxy"}, 8, 8,
       10, "pqrstuvwxy"},
      {"a write of nothing changes nothing", {"abc", ""}, 3, 0, 3, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Ring ring(10);
    for (const auto& w : c.writes) ring.Write(w);
    EXPECT_EQ(c.write, ring.buffer.writePosition);
    EXPECT_EQ(c.read, ring.buffer.readPosition);
    EXPECT_EQ(c.fill, ring.buffer.fill);
    EXPECT_EQ(c.unread, ring.Read(20).substr(0, c.unread.size()));
    EXPECT_EQ(0, ring.buffer.fill);
  }
}

TEST(CircularBuffer, ReadsZeroFillAnUnderrunAndHonourTheSkipCounter) {
  Ring ring(8);
  ring.Write("xyz");
  char out[6];
  std::memset(out, '?', sizeof out);
  EXPECT_EQ(3u, ZEQCBuffer::Read(&ring.buffer, out, sizeof out));
  EXPECT_EQ(0, std::memcmp(out, "xyz\0\0\0", 6));

  ring.Write("abcd");
  ring.buffer.skip = 2;
  std::memset(out, '?', sizeof out);
  EXPECT_EQ(0u, ZEQCBuffer::Read(&ring.buffer, out, 2));
  EXPECT_EQ(0u, ZEQCBuffer::Read(&ring.buffer, out, 2));
  EXPECT_EQ('?', out[0]);  // a skipped call leaves the caller's bytes alone
  EXPECT_EQ("abcd", ring.Read(4));  // wraps around the end
}

TEST(CircularBuffer, AZeroCapacityKeepsNothing) {
  Ring ring(0);
  ring.Write("abc");
  EXPECT_EQ(0, ring.buffer.fill);
  EXPECT_EQ("", ring.Read(3));
}

// Several writers at once: every chunk lands whole, the fill count never
// passes the capacity, and what is left is each writer's newest chunks in
// the order it wrote them.
TEST(CircularBuffer, ConcurrentWritersOverwriteTheOldestWholeChunks) {
  constexpr int kWriters = 4;
  constexpr int kChunks = 5000;
  constexpr int kChunkSize = 8;
  constexpr int kCapacity = 64 * kChunkSize;
  Ring ring(kCapacity);
  volatile LONG overfull = 0;
  ASSERT_TRUE(RunOnThreads(kWriters, [&](int writer) {
    for (int32_t n = 0; n < kChunks; ++n) {
      int32_t chunk[2] = {writer, n};
      ZEQCBuffer::Write(&ring.buffer, chunk, sizeof chunk);
      if (ring.buffer.fill > kCapacity) InterlockedExchange(&overfull, 1);
    }
  }));
  EXPECT_EQ(0, overfull);
  EXPECT_EQ(kCapacity, ring.buffer.fill);
  std::vector<int32_t> words(kCapacity / 4);
  ASSERT_EQ(static_cast<size_t>(kCapacity), ZEQCBuffer::Read(&ring.buffer, words.data(), kCapacity));
  int32_t last[kWriters] = {-1, -1, -1, -1};
  bool sawFinal = false;
  for (size_t i = 0; i < words.size(); i += 2) {
    const int32_t writer = words[i], n = words[i + 1];
    ASSERT_TRUE(writer >= 0 && writer < kWriters) << "torn chunk at " << i;
    ASSERT_TRUE(n >= 0 && n < kChunks);
    EXPECT_GT(n, last[writer]) << "writer " << writer << " out of order";
    last[writer] = n;
    sawFinal |= n == kChunks - 1;
  }
  EXPECT_TRUE(sawFinal);  // the newest chunk survives
}


}  // namespace
