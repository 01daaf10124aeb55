// The codec frame layer: its operations' result codes, frame types and
// byte counts, and restarting a codec in place.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "frame_layer_fixture.h"

using namespace g729;

namespace {

std::vector<int16_t> Tone(int frames) {
  std::vector<int16_t> pcm(80 * frames);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (int16_t)(((i * 37) % 200) * 40 - 4000);
  return pcm;
}

TEST(FrameLayer, DescribesTheCodecAndItsMemory) {
  int32_t size = 0;
  ASSERT_EQ(0, T.info_size(&size));
  EXPECT_EQ((int32_t)sizeof(CodecInfo), size);
  EXPECT_EQ(-1, T.info_size(nullptr));
  CodecInfo info;
  ASSERT_EQ(0, T.info(nullptr, &info));
  EXPECT_EQ(1, info.options.direction);
  EXPECT_EQ(8000, info.options.modes.bit_rate);
  EXPECT_EQ(1, info.options.modes.vad);
  EXPECT_EQ(160, info.options.frame_size);
  EXPECT_EQ(-1, T.info(nullptr, nullptr));

  CodecOptions o = Options(0);
  int32_t count = 0;
  ASSERT_EQ(0, T.bank_count(&o, &count));
  EXPECT_EQ(2, count);
  MemBank banks[2];
  ASSERT_EQ(0, T.bank_sizes(&o, banks));
  EXPECT_EQ(4432, banks[0].size);
  EXPECT_EQ(10280, banks[1].size);
  EXPECT_EQ(32, banks[0].alignment);
  EXPECT_EQ(1, banks[1].kind);
  o.direction = 1;
  ASSERT_EQ(0, T.bank_sizes(&o, banks));
  EXPECT_EQ(2328, banks[0].size);
  o.direction = 2;
  EXPECT_EQ(-6, T.bank_sizes(&o, banks));
  o = Options(0);
  o.modes.bit_rate = 6400;
  EXPECT_EQ(-4, T.bank_sizes(&o, banks));
}

struct InitCase {
  const char* name;
  void (*change)(CodecOptions&);
  int result;
};
const InitCase kInitCases[] = {
    {"vad 2", [](CodecOptions& o) { o.modes.vad = 2; }, -2},
    {"16000 Hz", [](CodecOptions& o) { o.sample_rate = 16000; }, -5},
    {"8 bits", [](CodecOptions& o) { o.bits_per_sample = 8; }, -5},
    {"stereo", [](CodecOptions& o) { o.channels = 2; }, -5},
    {"6400 bit/s", [](CodecOptions& o) { o.modes.bit_rate = 6400; }, -4},
    {"direction 3", [](CodecOptions& o) { o.direction = 3; }, -6},
};

TEST(FrameLayer, InitRefusesOptionsOutsideTheCodec) {
  for (const InitCase& c : kInitCases) {
    CodecOptions o = Options(0);
    c.change(o);
    Codec codec;
    EXPECT_EQ(c.result, codec.Init(o)) << c.name;
  }
  CodecOptions o = Options(0);
  Codec codec;
  ASSERT_EQ(0, T.bank_sizes(&o, codec.banks));
  void* handle = nullptr;
  EXPECT_EQ(-1, T.init(&o, codec.banks, &handle));  // banks without memory
  EXPECT_EQ(-7, T.init(&o, codec.banks, nullptr));
  EXPECT_EQ(-1, T.init(nullptr, codec.banks, &handle));
}

TEST(FrameLayer, EncodeConsumesOneFrameAndReportsASpeechFrame) {
  Codec enc;
  ASSERT_EQ(0, enc.Init(Options(0)));
  std::vector<int16_t> pcm = Tone(2);
  uint8_t out[10];
  PcmBlock p = {pcm.data(), 320, 8000, 16, 1, 8000};
  BitstreamBlock b = {out, 0, 0, 0};
  ASSERT_EQ(0, T.encode(enc.handle, &p, &b));
  EXPECT_EQ(160, p.bytes);
  EXPECT_EQ(10, b.bytes);
  EXPECT_EQ(3, b.frame_type);
  EXPECT_EQ(8000, b.bit_rate);

  PcmBlock short_block = {pcm.data(), 159, 8000, 16, 1, 8000};
  EXPECT_EQ(-6, T.encode(enc.handle, &short_block, &b));
  PcmBlock wide = {pcm.data(), 160, 16000, 16, 1, 8000};
  EXPECT_EQ(-5, T.encode(enc.handle, &wide, &b));
  PcmBlock fast = {pcm.data(), 160, 8000, 16, 1, 11800};
  EXPECT_EQ(-4, T.encode(enc.handle, &fast, &b));
  EXPECT_EQ(-7, T.encode(nullptr, &p, &b));
  EXPECT_EQ(-1, T.encode(enc.handle, nullptr, &b));

  Codec dec;
  ASSERT_EQ(0, dec.Init(Options(1)));
  EXPECT_EQ(-1, T.encode(dec.handle, &p, &b));  // not an encoder
  int16_t samples[80];
  PcmBlock o = {samples, 0, 0, 0, 0, 0};
  EXPECT_EQ(-6, T.decode(enc.handle, &b, &o));  // not a decoder
}

TEST(FrameLayer, DecodeConcealsWithoutABitStreamAndAnswersEachFrameType) {
  Codec dec;
  ASSERT_EQ(0, dec.Init(Options(1)));
  int16_t samples[80];
  memset(samples, 0x55, sizeof samples);
  PcmBlock o = {samples, 0, 0, 0, 0, 0};
  ASSERT_EQ(0, T.decode(dec.handle, nullptr, &o));
  EXPECT_EQ(160, o.bytes);
  EXPECT_EQ(8000, o.sample_rate);
  EXPECT_EQ(16, o.bits_per_sample);
  EXPECT_EQ(1, o.channels);
  for (int16_t s : samples) EXPECT_EQ(0, s);  // concealment after silence is silence

  uint8_t frame[10] = {0x7b, 0x3e};
  struct Case {
    const char* name;
    int32_t type;
    int result;
    int32_t bytes;  // the block's byte count after the call
  } cases[] = {
      {"speech", 3, 0, 10},
      {"silence description", 1, 0, 2},
      {"untransmitted", 0, 0, 0},
      {"silence description taken at once", 5, 0, 0},
      {"6.4 kbit/s frame of the full codec", 2, -6, 99},
      {"11.8 kbit/s frame of the full codec", 4, -6, 99},
      {"unknown type", 7, -6, 99},
  };
  for (const Case& c : cases) {
    BitstreamBlock b = {frame, 99, c.type, 8000};
    o.bytes = 0;
    EXPECT_EQ(c.result, T.decode(dec.handle, &b, &o)) << c.name;
    EXPECT_EQ(c.bytes, b.bytes) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(160, o.bytes) << c.name;
    }
  }
  BitstreamBlock b = {frame, 10, 3, 8000};
  BitstreamBlock rate = {frame, 10, 3, 6400};
  EXPECT_EQ(-4, T.decode(dec.handle, &rate, &o));
  EXPECT_EQ(-1, T.decode(dec.handle, &b, nullptr));
}

TEST(FrameLayer, OutputSizesCountWholeFramesAndRoundEncoderInputUp) {
  CodecOptions e = Options(0), d = Options(1);
  int32_t out = 0;
  ASSERT_EQ(0, T.output_size(&e, 8000, 480, &out));
  EXPECT_EQ(30, out);
  ASSERT_EQ(0, T.output_size(&e, 8000, 482, &out));
  EXPECT_EQ(40, out);
  EXPECT_EQ(-6, T.output_size(&e, 8000, 100, &out));
  ASSERT_EQ(0, T.output_size(&d, 8000, 25, &out));
  EXPECT_EQ(320, out);
  EXPECT_EQ(-6, T.output_size(&d, 8000, 0, &out));
  EXPECT_EQ(-4, T.output_size(&d, 6400, 10, &out));
  EXPECT_EQ(-1, T.output_size(&d, 8000, 10, nullptr));
}

TEST(FrameLayer, TheFrameSizeCannotBeChanged) {
  CodecOptions o = Options(0);
  Codec enc;
  ASSERT_EQ(0, enc.Init(o));
  EXPECT_EQ(-6, T.frame_size(&o, enc.handle, 160));
  EXPECT_EQ(-10, T.frame_size(&o, enc.handle, 0));
  EXPECT_EQ(-7, T.frame_size(&o, nullptr, 160));
}

TEST(FrameLayer, ReinitRestartsAnEncoderAsNew) {
  std::vector<int16_t> pcm = Tone(6);
  auto encode = [&](Codec& c, int from, int frames, std::vector<uint8_t>& out) {
    for (int f = from; f < from + frames; f++) {
      uint8_t bytes[10];
      PcmBlock p = {&pcm[f * 80], 160, 8000, 16, 1, 8000};
      BitstreamBlock b = {bytes, 0, 0, 0};
      ASSERT_EQ(0, T.encode(c.handle, &p, &b));
      out.insert(out.end(), bytes, bytes + 10);
    }
  };
  Codec used, fresh;
  ASSERT_EQ(0, used.Init(Options(0)));
  ASSERT_EQ(0, fresh.Init(Options(0)));
  std::vector<uint8_t> before, after, expected;
  encode(used, 0, 3, before);
  ModeWords modes = {8000, 0, 0, 0, 0, 0};
  ASSERT_EQ(0, T.reinit(&modes, used.handle));
  encode(used, 3, 3, after);
  encode(fresh, 3, 3, expected);
  EXPECT_EQ(expected, after);
  modes.vad = 2;
  EXPECT_EQ(-2, T.reinit(&modes, used.handle));
  EXPECT_EQ(-2, T.control(&modes, used.handle));
  modes.vad = 0;
  modes.bit_rate = 6400;
  EXPECT_EQ(-4, T.control(&modes, used.handle));
  EXPECT_EQ(-7, T.reinit(&modes, nullptr));
}

// Runs frames through an encoder (direction 0) or a decoder (1) fed by an
// encoder, with a hook between frames; returns every frame's output bytes.
std::vector<uint8_t> RunFrames(int direction, int frames, const std::function<void(Codec&)>& between) {
  std::vector<int16_t> pcm = Tone(frames);
  Codec enc, dec;
  EXPECT_EQ(0, enc.Init(Options(0)));
  EXPECT_EQ(0, dec.Init(Options(1)));
  std::vector<uint8_t> out;
  for (int f = 0; f < frames; f++) {
    uint8_t bytes[10];
    PcmBlock p = {&pcm[f * 80], 160, 8000, 16, 1, 8000};
    BitstreamBlock b = {bytes, 0, 0, 0};
    EXPECT_EQ(0, T.encode(enc.handle, &p, &b));
    if (direction == 0) {
      out.insert(out.end(), bytes, bytes + 10);
      between(enc);
      continue;
    }
    int16_t samples[80];
    PcmBlock o = {samples, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, T.decode(dec.handle, &b, &o));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(samples);
    out.insert(out.end(), raw, raw + sizeof samples);
    between(dec);
  }
  return out;
}

TEST(FrameLayer, FramesTakeTheirWorkBuffersFromTheScratchBankAndKeepNothingThere) {
  const struct {
    const char* name;
    int direction;
  } cases[] = {{"encoder", 0}, {"decoder", 1}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> clean = RunFrames(c.direction, 8, [](Codec&) {});
    bool used = true;
    int frame = 0;
    // Garbage left in the bank between frames must not reach the output,
    // and each frame must have written into the bank.
    const std::vector<uint8_t> scrambled = RunFrames(c.direction, 8, [&](Codec& codec) {
      const uint8_t* bank = static_cast<const uint8_t*>(codec.banks[1].memory);
      size_t written = 0;
      for (int32_t i = 0; i < codec.banks[1].size; i++) written += bank[i] != 0xA5;
      if (frame++ > 0 && written == 0) used = false;
      memset(codec.banks[1].memory, 0xA5, codec.banks[1].size);
    });
    EXPECT_EQ(clean, scrambled) << c.name;
    EXPECT_TRUE(used) << c.name;
  }
}

TEST(FrameLayer, FrameTypesHaveTheirByteCounts) {
  const int32_t bytes[][2] = {{-1, 0}, {0, 0}, {1, 2}, {2, 8}, {3, 10}, {4, 15}, {5, 0}, {9, 0}};
  for (const auto& b : bytes) EXPECT_EQ(b[1], FrameBytes(b[0])) << b[0];
}

}  // namespace
