// The codec interface: whole frames in and out, the output's capacity
// respected, partial frames reported, restarting and freeing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "g729/g729.h"

namespace {

std::vector<int16_t> Speechlike(int frames) {
  std::vector<int16_t> pcm(80 * frames);
  unsigned seed = 1;
  for (size_t i = 0; i < pcm.size(); i++) {
    seed = seed * 1103515245u + 12345u;
    pcm[i] = (int16_t)((int)((i * 53) % 160) * 60 - 4800 + (int)((seed >> 16) % 800) - 400);
  }
  return pcm;
}

struct Coders {
  G729Instance* enc = nullptr;
  G729Instance* dec = nullptr;
  Coders() {
    EXPECT_EQ(0, G729EncoderCreate(&enc));
    EXPECT_EQ(0, G729EncoderInit(enc, 0));
    EXPECT_EQ(0, G729DecoderCreate(&dec));
    EXPECT_EQ(0, G729DecoderInit(dec));
  }
  ~Coders() {
    G729Free(enc);
    G729Free(dec);
  }
  std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> bits(pcm.size() / 8);
    EXPECT_EQ((int)bits.size(), G729Encode(enc, pcm.data(), (int16_t)pcm.size(), bits.data()));
    return bits;
  }
};

TEST(CodecInterface, SilenceEncodesToOneTenByteSpeechFrame) {
  Coders c;
  int16_t silence[80] = {0};
  uint8_t out[12];
  memset(out, 0xEE, sizeof out);
  EXPECT_EQ(10, G729Encode(c.enc, silence, 80, out));
  EXPECT_EQ(0xEE, out[10]);  // nothing past the frame
  EXPECT_EQ(10, G729Encode(c.enc, silence, 80, out));  // and again, type 3
}

TEST(CodecInterface, EncodeReadsOnlyWholeFrames) {
  Coders c;
  std::vector<int16_t> pcm = Speechlike(3);
  uint8_t out[40];
  EXPECT_EQ(20, G729Encode(c.enc, pcm.data(), 239, out));  // two frames, 79 samples left unread
  EXPECT_EQ(0, G729Encode(c.enc, pcm.data(), 0, out));
  EXPECT_EQ(0, G729Encode(c.enc, pcm.data(), 79, out));
  EXPECT_EQ(-1, G729Encode(c.enc, pcm.data(), -80, out));
}

TEST(CodecInterface, DecodesEveryWholeFrameOfAPayload) {
  Coders c;
  std::vector<uint8_t> bits = c.Encode(Speechlike(2));
  std::vector<int16_t> out(160);
  int32_t rest = -1;
  EXPECT_EQ(160, G729Decode(c.dec, bits.data(), 20, out.data(), 160, &rest));
  EXPECT_EQ(0, rest);
  EXPECT_EQ(80, G729Decode(c.dec, bits.data(), 10, out.data(), 160, &rest));
  EXPECT_EQ(0, G729Decode(c.dec, bits.data(), 0, out.data(), 160, &rest));
  EXPECT_EQ(-1, G729Decode(c.dec, bits.data(), -10, out.data(), 160, &rest));
}

struct CapacityCase {
  const char* name;
  int16_t payload_bytes;
  int32_t capacity;
  int16_t samples;
  int32_t undecoded;
};
const CapacityCase kCapacityCases[] = {
    {"a partial frame after two whole ones", 25, 400, 160, 5},
    {"a payload shorter than a frame", 7, 400, 0, 7},
    {"an output with room for two of three frames", 30, 170, 160, 10},
    {"an output with no room for a frame", 20, 79, 0, 20},
    {"an output of exactly three frames", 30, 240, 240, 0},
};

TEST(CodecInterface, NeverWritesPastTheOutputAndReportsWhatWasNotDecoded) {
  for (const CapacityCase& k : kCapacityCases) {
    Coders c;
    std::vector<uint8_t> bits = c.Encode(Speechlike(3));
    bits.resize(40, 0);
    std::vector<int16_t> out(k.capacity + 16, 0x7A7A);
    int32_t rest = -1;
    EXPECT_EQ(k.samples, G729Decode(c.dec, bits.data(), k.payload_bytes, out.data(), k.capacity, &rest)) << k.name;
    EXPECT_EQ(k.undecoded, rest) << k.name;
    for (size_t i = k.samples; i < out.size(); i++) ASSERT_EQ(0x7A7A, out[i]) << k.name << " at " << i;
  }
}

TEST(CodecInterface, DecodesNoMoreFramesThanItsSixteenBitResultCanCount) {
  // 410 frames would be 32800 samples: the last frame is reported instead.
  Coders c;
  std::vector<uint8_t> bits(4100, 0);
  std::vector<int16_t> out(410 * 80 + 16, 0x7A7A);
  int32_t rest = -1;
  EXPECT_EQ(409 * 80, G729Decode(c.dec, bits.data(), 4100, out.data(), 410 * 80, &rest));
  EXPECT_EQ(10, rest);
  EXPECT_EQ(0x7A7A, out[409 * 80]);
}

TEST(CodecInterface, ReinitialisingAnEncoderRestartsIt) {
  std::vector<int16_t> pcm = Speechlike(6);
  Coders used, fresh;
  std::vector<uint8_t> first(30), again(30), expected(30);
  ASSERT_EQ(30, G729Encode(used.enc, pcm.data(), 240, first.data()));
  ASSERT_EQ(0, G729EncoderInit(used.enc, 1));  // the DTX request changes nothing
  ASSERT_EQ(30, G729Encode(used.enc, pcm.data() + 240, 240, again.data()));
  ASSERT_EQ(30, G729Encode(fresh.enc, pcm.data() + 240, 240, expected.data()));
  EXPECT_EQ(expected, again);
}

TEST(CodecInterface, ReinitialisingADecoderRestartsIt) {
  Coders c;
  std::vector<uint8_t> bits = c.Encode(Speechlike(4));
  std::vector<int16_t> a(160), b(160);
  ASSERT_EQ(160, G729Decode(c.dec, bits.data(), 20, a.data(), 160, nullptr));
  ASSERT_EQ(0, G729DecoderInit(c.dec));
  ASSERT_EQ(160, G729Decode(c.dec, bits.data(), 20, b.data(), 160, nullptr));
  EXPECT_EQ(a, b);
}

TEST(CodecInterface, ACreatedInstanceWorksOnlyAfterInitialisationAndFreesAtAnyStage) {
  G729Instance* enc = nullptr;
  ASSERT_EQ(0, G729EncoderCreate(&enc));
  int16_t pcm[80] = {0};
  uint8_t out[10];
  EXPECT_EQ(-1, G729Encode(enc, pcm, 80, out));
  EXPECT_EQ(0, G729Free(enc));
  G729Instance* dec = nullptr;
  ASSERT_EQ(0, G729DecoderCreate(&dec));
  int16_t samples[80];
  EXPECT_EQ(-1, G729Decode(dec, out, 10, samples, 80, nullptr));
  EXPECT_EQ(0, G729Free(dec));
  EXPECT_EQ(0, G729Free(nullptr));
  EXPECT_EQ(-1, G729EncoderCreate(nullptr));
}

TEST(CodecInterface, DecodingTheSameFrameTwiceMovesTheMemoriesOn) {
  Coders c;
  std::vector<uint8_t> bits = c.Encode(Speechlike(1));
  std::vector<int16_t> a(80), b(80);
  ASSERT_EQ(80, G729Decode(c.dec, bits.data(), 10, a.data(), 80, nullptr));
  ASSERT_EQ(80, G729Decode(c.dec, bits.data(), 10, b.data(), 80, nullptr));
  EXPECT_NE(a, b);
}

}  // namespace
