// Blowfish against published vectors and against an independent
// implementation (expected values produced with pycryptodome; for keys under
// 4 bytes, which it refuses, with the key repeated to 12 bytes: the schedule
// takes key bytes cyclically, so both are the same key).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/blowfish.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const uint8_t* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}
std::string ToHex(const Bytes& data) { return ToHex(data.data(), data.size()); }

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes EncryptBuffer(const Bytes& key, const Bytes& in, int mode) {
  Bytes out(in.size());
  EXPECT_TRUE(BlowfishEncryptBuffer(key.data(), key.size(), in.data(), in.size(), out.data(), mode));
  return out;
}

Bytes DecryptBuffer(const Bytes& key, const Bytes& in, int mode) {
  Bytes out(in.size());
  EXPECT_TRUE(BlowfishDecryptBuffer(key.data(), key.size(), in.data(), in.size(), out.data(), mode));
  return out;
}

struct EcbVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Eric Young's single-block vectors and Schneier's variable-key ones; keys
// are hexadecimal unless quoted text.
const EcbVector kPublished[] = {
    {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
    {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
    {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
    {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
    {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
    {"1111111111111111", "0123456789abcdef", "7d0cc630afda1ec7"},
    {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "59c68245eb05282b"},
    {"'abcdefghijklmnopqrstuvwxyz", "424c4f5746495348", "324ed0fef413a203"},
    {"'Who is John Galt?", "fedcba9876543210", "cc91732b8022f684"},
};

Bytes KeyOf(const char* written) { return written[0] == '\'' ? Text(written + 1) : Hex(written); }

TEST(BlowfishBlock, MeetsPublishedVectorsWithBigEndianWords) {
  for (const auto& v : kPublished) {
    Bytes key = KeyOf(v.key);
    Bytes plain = Hex(v.plain);
    EXPECT_EQ(v.cipher, ToHex(EncryptBuffer(key, plain, kBlowfishECB))) << v.key;
    EXPECT_EQ(v.plain, ToHex(DecryptBuffer(key, Hex(v.cipher), kBlowfishECB))) << v.key;

    // The same through the word interface: bytes 0-3 are the left word.
    auto word = [](const char* hex) { return uint32_t(std::stoul(std::string(hex, 8), nullptr, 16)); };
    BlowfishContext context;
    ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), nullptr));
    uint32_t block[2] = {word(v.plain), word(v.plain + 8)};
    BlowfishEncryptBlock(&context, block);
    EXPECT_EQ(word(v.cipher), block[0]) << v.key;
    EXPECT_EQ(word(v.cipher + 8), block[1]) << v.key;
    BlowfishDecryptBlock(&context, block);
    EXPECT_EQ(word(v.plain), block[0]) << v.key;
    EXPECT_EQ(word(v.plain + 8), block[1]) << v.key;
  }
}

// Eric Young's key-schedule vectors: the first n bytes (n = 1..24) of one key
// on the same block.
TEST(BlowfishKey, MeetsPublishedVectorsForKeyLengthsOneToTwentyFour) {
  const Bytes key = Hex("f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677");
  const char* expected[] = {
      "f9ad597c49db005e", "e91d21c1d961a6d6", "e9c2b70a1bc65cf3", "be1e639408640f05", "b39e44481bdb1e6e",
      "9457aa83b1928c0d", "8bb77032f960629d", "e87a244e2cc85e82", "15750e7a4f4ec577", "122ba70b3ab64ae0",
      "3a833c9affc537f6", "9409da87a90f6bf2", "884f80625060b8b4", "1f85031c19e11968", "79d9373a714ca34f",
      "93142887ee3be15c", "03429e838ce2d14b", "a4299e27469ff67b", "afd5aed1c1bc96a8", "10851c0e3858da9f",
      "e6f51ed79b9db21f", "64a6e14afd36b46f", "80c7d7d45a5479ad", "05044b62fa52d080"};
  for (size_t n = 1; n <= 24; ++n) {
    Bytes prefix(key.begin(), key.begin() + n);
    EXPECT_EQ(expected[n - 1], ToHex(EncryptBuffer(prefix, Hex("fedcba9876543210"), kBlowfishECB))) << n;
  }
}

// Key bytes (7i + 3) mod 256 of every length 1..56 on the block
// 0123456789abcdef.
TEST(BlowfishKey, EveryLengthUpToFiftySixMatchesIndependentImplementation) {
  struct Case {
    size_t length;
    const char* cipher;
  };
  const Case cases[] = {
    {1, "93328e91cc6c8d5c"},
    {2, "391ae5e0e3b23429"},
    {3, "1f86520f0112a257"},
    {4, "16818cf359bf7ad0"},
    {5, "abb47f6fc9aa6fd9"},
    {6, "1c57599c5006fe7d"},
    {7, "9eed29d4f3a93861"},
    {8, "451f3428d9ac6f0d"},
    {9, "9d5c27b9557f40dd"},
    {10, "d1f6046338629498"},
    {11, "329111d420b153bc"},
    {12, "fd81251b655bf782"},
    {13, "12c3c0a984e7b339"},
    {14, "27e0dc7497286ce6"},
    {15, "5eb11e386632ba7c"},
    {16, "f07aaee921dd8a56"},
    {17, "9696af67d5b0c20e"},
    {18, "28f87dd1b5f2a607"},
    {19, "dd807df6ccc2160c"},
    {20, "09d905652bcc94d1"},
    {21, "1eb7f10f54471d3c"},
    {22, "9b38bf7720d792cf"},
    {23, "6d7adc59bf60cb39"},
    {24, "003962b30568961b"},
    {25, "f1a9129930d00945"},
    {26, "03b2a247eb82e94a"},
    {27, "e0a8716ebfd96dd2"},
    {28, "c4568a775a342625"},
    {29, "e9e359adc2b6287c"},
    {30, "3ef0b0cb71b3df8a"},
    {31, "fb72dd8e908b18b5"},
    {32, "60722a6d472d74a1"},
    {33, "7df657861cd2e253"},
    {34, "d0ea49621b9f3b2c"},
    {35, "dadb9915ce450d7c"},
    {36, "f07f02b97f55b7d6"},
    {37, "e780c95c675fe9df"},
    {38, "82e4a9c2588789c9"},
    {39, "461bb9bb25377fd5"},
    {40, "00b11a48885e344b"},
    {41, "b902b2561546f7e7"},
    {42, "089c8d45bd2caab3"},
    {43, "395415e2fde05d6a"},
    {44, "666dee95fa69ad9d"},
    {45, "666ea07e98fdc85b"},
    {46, "e72365b7668a929e"},
    {47, "270d26140cb42335"},
    {48, "bb9f33ba2388410c"},
    {49, "9aa867f27fc6dbf4"},
    {50, "fdfdda4b3f9a64a6"},
    {51, "ad2d09ab710d80a1"},
    {52, "773081016467eed5"},
    {53, "d4605f8aa81af38a"},
    {54, "194a17cb42dbbb6e"},
    {55, "40a2accbf34ade46"},
    {56, "1ac60640113af032"},
  };
  for (const auto& c : cases) {
    Bytes key(c.length);
    for (size_t i = 0; i < c.length; ++i) key[i] = uint8_t(7 * i + 3);
    Bytes cipher = EncryptBuffer(key, Hex("0123456789abcdef"), kBlowfishECB);
    EXPECT_EQ(c.cipher, ToHex(cipher)) << "key length " << c.length;
    EXPECT_EQ("0123456789abcdef", ToHex(DecryptBuffer(key, cipher, kBlowfishECB))) << "key length " << c.length;
  }
}

TEST(BlowfishKey, KeysLongerThanFiftySixBytesUseTheirFirstFiftySix) {
  Bytes key(80);
  for (size_t i = 0; i < key.size(); ++i) key[i] = uint8_t(200 + i);
  const Bytes data = Hex("05223f5c7996b3d0ed0a2744617e9bb8");
  const Bytes first56(key.begin(), key.begin() + 56);
  const std::string expected = ToHex(EncryptBuffer(first56, data, kBlowfishCBC));
  for (size_t length : {57u, 64u, 72u, 80u}) {
    Bytes longer(key.begin(), key.begin() + length);
    EXPECT_EQ(expected, ToHex(EncryptBuffer(longer, data, kBlowfishCBC))) << length;
  }
  // ...while the 56th byte still counts.
  Bytes first55(key.begin(), key.begin() + 55);
  EXPECT_NE(expected, ToHex(EncryptBuffer(first55, data, kBlowfishCBC)));
}

// Zero initial block, as the buffer operations use it. Data: (29i + 5) mod
// 256 for 40 bytes.
TEST(BlowfishModes, CbcAndCfbMatchIndependentImplementation) {
  struct Case {
    const char* key;
    const char* cbc;
    const char* cfb;
  };
  const Case cases[] = {
      {"6b33792135",
       "8756ec137991d682ca7b40dcd4ccbb9bf9e7da8908ebf2355f84c20727a27dc3b4c8fac06a2fae21",
       "257cf25e686014594320f944291834546d9f1b40a48be820e22834777ee6884e492623f53e2873b8"},
      {"3566346463633362356161373635643631643833323764656238383263663939",
       "46213218bb6ab802b6646696f64c6f196273334f8eb0dcc3c37c5192fdfee530c0675d30bfc8d18e",
       "aaa280198ebc81cbf8db3baf911372ddf300ca79a0d538b017e7d3e197269a3da397558729b695d0"},
      {"c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff",
       "2f0a72461a2598c9be926af14347f26c8e1e8666ce47787be0a126705a2e52a376921aaf1e7983ff",
       "2a1371b074f2bb21a542cbf3eae1f91b44e874d183a937fc71917dbb824bfee3ad27d0fb49c49bdc"},
  };
  Bytes data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(29 * i + 5);
  for (const auto& c : cases) {
    const Bytes key = Hex(c.key);
    EXPECT_EQ(c.cbc, ToHex(EncryptBuffer(key, data, kBlowfishCBC))) << c.key;
    EXPECT_EQ(c.cfb, ToHex(EncryptBuffer(key, data, kBlowfishCFB))) << c.key;
    EXPECT_EQ(ToHex(data), ToHex(DecryptBuffer(key, Hex(c.cbc), kBlowfishCBC))) << c.key;
    EXPECT_EQ(ToHex(data), ToHex(DecryptBuffer(key, Hex(c.cfb), kBlowfishCFB))) << c.key;
  }
}

// Eric Young's chaining vectors: a non-zero initial block given to the key
// schedule. His CFB vector covers 29 bytes of a stream cipher; with whole
// blocks the first 29 bytes are the same.
TEST(BlowfishModes, PublishedChainingVectorsWithInitialBlock) {
  const Bytes key = Hex("0123456789abcdeff0e1d2c3b4a59687");
  const uint32_t initial[2] = {0xfedcba98, 0x76543210};
  Bytes data = Text("7654321 Now is the time for ");
  data.resize(32, 0);
  struct Case {
    int mode;
    const char* cipher;
  };
  const Case cases[] = {
      {kBlowfishCBC, "6b77b4d63006dee605b156e27403979358deb9e7154616d959f1652bd5ff92cc"},
      {kBlowfishCFB, "e73214a2822139caf26ecf6d2eb9e76e3da3de04d1517200519d57a6c3"},
  };
  for (const auto& c : cases) {
    BlowfishContext context;
    ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), initial));
    Bytes out(data.size());
    ASSERT_TRUE(BlowfishEncryptBlocks(&context, data.data(), out.data(), out.size(), c.mode));
    const std::string expected = c.cipher;
    EXPECT_EQ(expected, ToHex(out).substr(0, expected.size())) << c.mode;

    ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), initial));
    Bytes back(out.size());
    ASSERT_TRUE(BlowfishDecryptBlocks(&context, out.data(), back.data(), back.size(), c.mode));
    EXPECT_EQ(ToHex(data), ToHex(back)) << c.mode;
  }
}

TEST(BlowfishModes, ChainingCarriesAcrossCallsAndWorksInPlace) {
  const Bytes key = Text("chain");
  Bytes data(48);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
  for (int mode : {kBlowfishECB, kBlowfishCBC, kBlowfishCFB}) {
    const Bytes whole = EncryptBuffer(key, data, mode);

    // Two calls on one context (16 + 32 bytes), in place.
    BlowfishContext context;
    ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), nullptr));
    Bytes work = data;
    ASSERT_TRUE(BlowfishEncryptBlocks(&context, work.data(), work.data(), 16, mode));
    ASSERT_TRUE(BlowfishEncryptBlocks(&context, work.data() + 16, work.data() + 16, 32, mode));
    EXPECT_EQ(ToHex(whole), ToHex(work)) << mode;

    ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), nullptr));
    ASSERT_TRUE(BlowfishDecryptBlocks(&context, work.data(), work.data(), 24, mode));
    ASSERT_TRUE(BlowfishDecryptBlocks(&context, work.data() + 24, work.data() + 24, 24, mode));
    EXPECT_EQ(ToHex(data), ToHex(work)) << mode;
  }
  // Any mode number other than 1 and 2 is ECB.
  EXPECT_EQ(ToHex(EncryptBuffer(key, data, kBlowfishECB)), ToHex(EncryptBuffer(key, data, 7)));
}

TEST(BlowfishRefusals, PartialBlocksAndEmptyInputsAreRefusedUntouched) {
  const Bytes key = Text("key");
  Bytes in(24, 0x41), out(24, 0x5A);
  BlowfishContext context;
  ASSERT_TRUE(BlowfishSetKey(&context, key.data(), key.size(), nullptr));
  for (size_t length : {1u, 7u, 9u, 23u}) {
    EXPECT_FALSE(BlowfishEncryptBlocks(&context, in.data(), out.data(), length, kBlowfishCBC)) << length;
    EXPECT_FALSE(BlowfishDecryptBlocks(&context, in.data(), out.data(), length, kBlowfishCBC)) << length;
    EXPECT_FALSE(BlowfishEncryptBuffer(key.data(), key.size(), in.data(), length, out.data(), kBlowfishCBC));
    EXPECT_FALSE(BlowfishDecryptBuffer(key.data(), key.size(), in.data(), length, out.data(), kBlowfishCBC));
  }
  EXPECT_EQ(Bytes(24, 0x5A), out);
  // Zero blocks: nothing to do for the block calls, a failure for the buffer
  // calls.
  EXPECT_TRUE(BlowfishEncryptBlocks(&context, in.data(), out.data(), 0, kBlowfishCBC));
  EXPECT_FALSE(BlowfishEncryptBuffer(key.data(), key.size(), in.data(), 0, out.data(), kBlowfishCBC));
  EXPECT_FALSE(BlowfishDecryptBuffer(key.data(), key.size(), in.data(), 0, out.data(), kBlowfishCBC));
  // An empty key has no bytes for the schedule.
  EXPECT_FALSE(BlowfishSetKey(&context, key.data(), 0, nullptr));
  EXPECT_FALSE(BlowfishEncryptBuffer(key.data(), 0, in.data(), 8, out.data(), kBlowfishCBC));
  EXPECT_FALSE(BlowfishEncryptBuffer(nullptr, 5, in.data(), 8, out.data(), kBlowfishCBC));
  EXPECT_FALSE(BlowfishEncryptBuffer(key.data(), key.size(), nullptr, 8, out.data(), kBlowfishCBC));
  EXPECT_EQ(Bytes(24, 0x5A), out);
}

}  // namespace
