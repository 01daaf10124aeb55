// Interoperability with an independent G.729A implementation (bcg729):
// frames of either encoder, decoded by both decoders, must sound the same.
// bcg729 is not bit-exact with the standard, so the check is a floor on the
// signal-to-noise ratio between the two decoders' outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include "g729/g729.h"
#include "itu_vectors.h"

using namespace g729test;

namespace {

// The floor: two conforming decoders of one bit stream differ by far less
// than the coding noise; 20 dB leaves room for bcg729's own rounding.
const double kSnrFloorDb = 20.0;

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < reference.size(); i++) {
    double d = (double)reference[i] - test[i];
    signal += (double)reference[i] * reference[i];
    noise += d * d;
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

std::vector<int16_t> Speech() {
  std::vector<int16_t> in = ReadWords(VectorPath("lsp.in"));  // ITU test speech
  in.resize(in.size() / 80 * 80);
  return in;
}

std::vector<uint8_t> EncodeOurs(const std::vector<int16_t>& pcm) {
  G729Instance* enc = nullptr;
  EXPECT_EQ(0, G729EncoderCreate(&enc));
  EXPECT_EQ(0, G729EncoderInit(enc, 0));
  std::vector<uint8_t> bits(pcm.size() / 8);
  for (size_t f = 0; f < pcm.size() / 80; f++) EXPECT_EQ(10, G729Encode(enc, &pcm[f * 80], 80, &bits[f * 10]));
  G729Free(enc);
  return bits;
}

std::vector<uint8_t> EncodePeer(const std::vector<int16_t>& pcm) {
  bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
  std::vector<uint8_t> bits(pcm.size() / 8);
  for (size_t f = 0; f < pcm.size() / 80; f++) {
    uint8_t len = 0;
    bcg729Encoder(enc, &pcm[f * 80], &bits[f * 10], &len);
    EXPECT_EQ(10, len);
  }
  closeBcg729EncoderChannel(enc);
  return bits;
}

std::vector<int16_t> DecodeOurs(const std::vector<uint8_t>& bits) {
  G729Instance* dec = nullptr;
  EXPECT_EQ(0, G729DecoderCreate(&dec));
  EXPECT_EQ(0, G729DecoderInit(dec));
  std::vector<int16_t> pcm(bits.size() * 8);
  for (size_t f = 0; f < bits.size() / 10; f++)
    EXPECT_EQ(80, G729Decode(dec, &bits[f * 10], 10, &pcm[f * 80], 80, nullptr));
  G729Free(dec);
  return pcm;
}

std::vector<int16_t> DecodePeer(const std::vector<uint8_t>& bits) {
  bcg729DecoderChannelContextStruct* dec = initBcg729DecoderChannel();
  std::vector<int16_t> pcm(bits.size() * 8);
  for (size_t f = 0; f < bits.size() / 10; f++) bcg729Decoder(dec, &bits[f * 10], 10, 0, 0, 0, &pcm[f * 80]);
  closeBcg729DecoderChannel(dec);
  return pcm;
}

TEST(Interoperability, OurFramesDecodedByThePeerMatchOurOwnDecoding) {
  std::vector<uint8_t> bits = EncodeOurs(Speech());
  ASSERT_FALSE(bits.empty());
  double snr = SnrDb(DecodeOurs(bits), DecodePeer(bits));
  RecordProperty("snr_db", std::to_string(snr));
  EXPECT_GT(snr, kSnrFloorDb);
}

TEST(Interoperability, PeerFramesDecodedByUsMatchThePeersOwnDecoding) {
  std::vector<uint8_t> bits = EncodePeer(Speech());
  ASSERT_FALSE(bits.empty());
  double snr = SnrDb(DecodePeer(bits), DecodeOurs(bits));
  RecordProperty("snr_db", std::to_string(snr));
  EXPECT_GT(snr, kSnrFloorDb);
}

TEST(Interoperability, BothEncodersCodeTheSpeechAlike) {
  // Each encoder's frames, decoded by the same decoder, against the input:
  // our coding noise must not be worse than the peer's by more than 1 dB.
  std::vector<int16_t> speech = Speech();
  double ours = SnrDb(speech, DecodeOurs(EncodeOurs(speech)));
  double peer = SnrDb(speech, DecodeOurs(EncodePeer(speech)));
  EXPECT_GT(ours, peer - 1.0) << "ours " << ours << " dB, peer " << peer << " dB";
}

}  // namespace
