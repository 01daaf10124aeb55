#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "package/content_transforms.h"
#include "log_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kKey[] = "0123456789abcdef0123456789abcdef";
const char kPath[] = "C:\\app\\main.pkg";


// Runs one transform the way callers do: hands over a heap copy of the
// input and takes the result back as bytes.
struct Outcome {
  bool ok;
  Bytes data;
  bool terminated;  // a zero byte follows the content
};

template <typename Transform>
Outcome Apply(const Bytes& input, Transform transform) {
  auto* buffer = static_cast<uint8_t*>(HeapAllocZ(input.size()));
  if (!input.empty()) std::memcpy(buffer, input.data(), input.size());
  size_t length = input.size();
  uint8_t* out = transform(buffer, &length);
  Outcome outcome{out != nullptr, {}, false};
  if (out) {
    outcome.data.assign(out, out + length);
    outcome.terminated = out[length] == 0;
    HeapFreeZ(out);
  } else {
    EXPECT_EQ(0u, length);
  }
  return outcome;
}

Outcome Encode(const Bytes& input, uint32_t flags, const char* key = kKey) {
  return Apply(input, [&](uint8_t* b, size_t* n) { return ZEQPackageEncodeData(kPath, b, n, key, flags); });
}
Outcome Decode(const Bytes& input, uint32_t flags, const char* key = kKey) {
  return Apply(input, [&](uint8_t* b, size_t* n) { return ZEQPackageDecodeData(kPath, b, n, key, flags); });
}

Bytes Sample(size_t size, bool compressible) {
  Bytes data(size);
  uint32_t seed = 12345;
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245 + 12345;
    data[i] = compressible ? uint8_t("package "[i % 8]) : uint8_t(seed >> 16);
  }
  return data;
}

uint32_t LeadingLength(const Bytes& blob) {
  return blob[0] | (blob[1] << 8) | (blob[2] << 16) | (uint32_t(blob[3]) << 24);
}

void SetLeadingLength(Bytes& blob, uint32_t value) {
  for (int i = 0; i < 4; ++i) blob[i] = uint8_t(value >> (8 * i));
}

std::string ToHex(const Bytes& data) {
  std::string out;
  char pair[3];
  for (uint8_t b : data) {
    snprintf(pair, sizeof pair, "%02x", b);
    out += pair;
  }
  return out;
}

class Transforms : public ::testing::Test {
 protected:
  // The texts of the log lines written since the last clear.
  std::vector<std::string> Lines() { return log_.Texts(); }
  void ClearLines() { log_.Clear(); }
  void ExpectOneLine(const std::string& line) {
    ASSERT_EQ(std::vector<std::string>{line}, Lines());
    ClearLines();
  }

 private:
  logtest::CapturedGlobalLog log_;
};

TEST_F(Transforms, EveryCombinationRoundTrips) {
  const uint32_t flagSets[] = {0, ZEQPKG_COMPRESS, ZEQPKG_ENCRYPT, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT};
  const struct {
    size_t size;
    bool compressible;
  } inputs[] = {{0, true}, {1, false}, {7, false}, {8, false}, {15, true}, {16, false}, {4096, true}, {70000, false}};
  for (uint32_t flags : flagSets) {
    for (const auto& in : inputs) {
      const Bytes plain = Sample(in.size, in.compressible);
      Outcome encoded = Encode(plain, flags);
      ASSERT_TRUE(encoded.ok) << flags << " " << in.size;
      if (flags & ZEQPKG_COMPRESS && in.compressible && in.size > 100) {
        EXPECT_LT(encoded.data.size(), in.size / 4);
      }
      Outcome decoded = Decode(encoded.data, flags);
      ASSERT_TRUE(decoded.ok) << flags << " " << in.size;
      EXPECT_EQ(plain, decoded.data) << flags << " " << in.size;
      if (flags) {
        EXPECT_TRUE(decoded.terminated) << flags << " " << in.size;
      }
    }
  }
  EXPECT_TRUE(Lines().empty());
}

TEST_F(Transforms, EncipheredBlobIsLengthThenZeroPaddedCbcBlocks) {
  struct Case {
    size_t input;
    size_t blob;
  };
  const Case cases[] = {{0, 12}, {1, 12}, {7, 12}, {8, 20}, {15, 20}, {16, 28}};
  for (const auto& c : cases) {
    Outcome blob = Encode(Sample(c.input, false), ZEQPKG_ENCRYPT);
    ASSERT_TRUE(blob.ok);
    EXPECT_EQ(c.blob, blob.data.size()) << c.input;
    EXPECT_EQ(c.input, LeadingLength(blob.data)) << c.input;
  }
  // Known answer from an independent Blowfish (pycryptodome, CBC, zero
  // initial block): "abcdefgh" and its whole block of zero padding.
  Outcome blob = Encode(Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, ZEQPKG_ENCRYPT);
  EXPECT_EQ("080000003d8698b5af1cbb781c712764331779dc", ToHex(blob.data));
}

TEST_F(Transforms, CompressedBlobIsLengthThenAZlibStream) {
  const Bytes plain = Sample(5000, true);
  Outcome blob = Encode(plain, ZEQPKG_COMPRESS);
  ASSERT_TRUE(blob.ok);
  EXPECT_EQ(plain.size(), LeadingLength(blob.data));
  Bytes inflated(plain.size());
  uLongf produced = uLongf(inflated.size());
  ASSERT_EQ(Z_OK, uncompress(inflated.data(), &produced, blob.data.data() + 4, uLong(blob.data.size() - 4)));
  EXPECT_EQ(plain, inflated);
}

// A compressed stream made with zlib itself, to build blobs by hand.
Bytes CompressedBlob(const Bytes& plain, uint32_t announced) {
  Bytes blob(4 + compressBound(uLong(plain.size())));
  uLongf size = uLongf(blob.size() - 4);
  EXPECT_EQ(Z_OK, compress2(blob.data() + 4, &size, plain.data(), uLong(plain.size()), 8));
  blob.resize(4 + size);
  SetLeadingLength(blob, announced);
  return blob;
}

TEST_F(Transforms, BadCompressedDataFailsWithItsLine) {
  const Bytes plain = Sample(3000, true);
  Bytes corrupt = CompressedBlob(plain, 3000);
  corrupt[10] ^= 0x55;
  Bytes truncated = CompressedBlob(plain, 3000);
  truncated.resize(truncated.size() - 6);
  const Bytes cases[] = {
      {},                                       // no length at all
      {1, 0, 0},                                // shorter than the length
      {4, 0, 0, 0},                             // a length and no stream
      {16, 0, 0, 0, 'n', 'o', 't', ' ', 'z'},   // not a zlib stream
      corrupt,
      truncated,
      CompressedBlob(plain, 2999),              // announced length too small
  };
  for (const auto& blob : cases) {
    EXPECT_FALSE(Decode(blob, ZEQPKG_COMPRESS).ok) << ToHex(blob);
    ExpectOneLine("ZEQPackageDecompressData: [FAILED] \"C:\\app\\main.pkg\" - Unable to decompress");
  }
}

TEST_F(Transforms, AnnouncedLengthIsAnUpperBoundNotAnAllocationSize) {
  // A body of some size with overstated lengths, as damaged packages have.
  const Bytes plain = Sample(312 * 1024, false);
  for (uint32_t announced : {0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
    SCOPED_TRACE(announced);
    // An overstated length still inflates what is there...
    Outcome out = Apply(CompressedBlob(plain, announced),
                        [](uint8_t* b, size_t* n) { return ZEQPackageDecompressData(kPath, b, n); });
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(plain, out.data);
    EXPECT_TRUE(out.terminated);
    // ...into a block that grew with the output, not one sized from the
    // length field or from the ratio deflate could reach.
    Bytes blob = CompressedBlob(plain, announced);
    auto* buffer = static_cast<uint8_t*>(HeapAllocZ(blob.size()));
    std::memcpy(buffer, blob.data(), blob.size());
    size_t length = blob.size();
    uint8_t* result = ZEQPackageDecompressData(kPath, buffer, &length);
    ASSERT_NE(nullptr, result);
    EXPECT_LT(HeapBlockSize(result), 2 * plain.size() + 64 * 1024);
    HeapFreeZ(result);
  }
  // Garbage with a huge announced length is refused the same way.
  EXPECT_FALSE(Decode({0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C, 1, 2, 3}, ZEQPKG_COMPRESS).ok);
  ExpectOneLine("ZEQPackageDecompressData: [FAILED] \"C:\\app\\main.pkg\" - Unable to decompress");
}

TEST_F(Transforms, BadCipherTextFailsWithItsLine) {
  Outcome good = Encode(Sample(20, false), ZEQPKG_ENCRYPT);  // 4 + 24 bytes
  ASSERT_TRUE(good.ok);
  Bytes twelve(4 + 12, 0);
  SetLeadingLength(twelve, 8);
  Bytes overstated = good.data;
  SetLeadingLength(overstated, 25);  // more than the 24 deciphered bytes
  const Bytes cases[] = {
      {},
      {0, 0, 0},
      {0, 0, 0, 0},  // no cipher text
      twelve,        // not whole blocks
      Bytes(good.data.begin(), good.data.end() - 3),
      overstated,
  };
  for (const auto& blob : cases) {
    EXPECT_FALSE(Decode(blob, ZEQPKG_ENCRYPT).ok) << ToHex(blob);
    ExpectOneLine("ZEQPackageDecompressData: [FAILED] \"C:\\app\\main.pkg\" - Unable to decrypt");
  }
  // The length may claim every deciphered byte.
  Bytes exact = good.data;
  SetLeadingLength(exact, 24);
  Outcome all = Decode(exact, ZEQPKG_ENCRYPT);
  ASSERT_TRUE(all.ok);
  EXPECT_EQ(24u, all.data.size());
  EXPECT_TRUE(all.terminated);
}

TEST_F(Transforms, WrongKeyIsCaughtByTheDecompressionStep) {
  const Bytes plain = Sample(2000, true);
  Outcome encoded = Encode(plain, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT);
  ASSERT_TRUE(encoded.ok);
  // Deciphering with another key "succeeds" and yields noise...
  Outcome noise = Decode(encoded.data, ZEQPKG_ENCRYPT, "another key");
  ASSERT_TRUE(noise.ok);
  EXPECT_NE(Bytes(plain.begin(), plain.begin() + 16), Bytes(noise.data.begin(), noise.data.begin() + 16));
  // ...which the decompression refuses.
  EXPECT_FALSE(Decode(encoded.data, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT, "another key").ok);
  ExpectOneLine("ZEQPackageDecompressData: [FAILED] \"C:\\app\\main.pkg\" - Unable to decompress");
}

TEST_F(Transforms, EveryTruncationOfAnEncodedBodyFails) {
  const Bytes plain = Sample(3000, true);
  Outcome encoded = Encode(plain, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT);
  ASSERT_TRUE(encoded.ok);
  for (size_t keep = 0; keep < encoded.data.size(); ++keep) {
    Bytes cut(encoded.data.begin(), encoded.data.begin() + keep);
    EXPECT_FALSE(Decode(cut, ZEQPKG_COMPRESS | ZEQPKG_ENCRYPT).ok) << keep;
    EXPECT_EQ(1u, Lines().size()) << keep;
    ClearLines();
  }
}

TEST_F(Transforms, EncipheringWithoutAKeyFails) {
  for (const char* key : {"", static_cast<const char*>(nullptr)}) {
    EXPECT_FALSE(Encode(Sample(10, false), ZEQPKG_ENCRYPT, key).ok);
    ExpectOneLine("ZEQPackageEncryptData: [FAILED] \"C:\\app\\main.pkg\" - Unable to encrypt");
    EXPECT_FALSE(Decode(Bytes(12, 0), ZEQPKG_ENCRYPT, key).ok);
    ExpectOneLine("ZEQPackageDecompressData: [FAILED] \"C:\\app\\main.pkg\" - Unable to decrypt");
  }
}

TEST_F(Transforms, DecodingStepsLogOnlyForAPackage) {
  EXPECT_FALSE(Apply({1, 2}, [](uint8_t* b, size_t* n) { return ZEQPackageDecompressData(nullptr, b, n); }).ok);
  EXPECT_FALSE(Apply({1, 2}, [](uint8_t* b, size_t* n) { return ZEQPackageDecryptData(nullptr, b, n, kKey); }).ok);
  EXPECT_TRUE(Lines().empty());
}

}  // namespace
