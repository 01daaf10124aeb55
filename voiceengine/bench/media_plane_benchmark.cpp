// CPU per call of the media plane, for each codec: encode, RTP write and
// read, jitter buffer, decode and the resampling a channel does, one
// direction of a call per iteration of one second of audio (a call is two
// directions). Prints figures, fails nothing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "codecs.h"
#include "jitter_buffer.h"
#include "rtp_packet.h"
#include "voiceengine/resampler.h"

namespace {

// The coders and state of one direction of a call.
struct Direction {
  Direction(int index, int pacsize) : codec(voe::CodecAt(index)) {
    codec.pacsize = pacsize;
    int error = 0;
    encoder = voe::CreateEncoder(voe::CodecKindAt(index), codec, &error);
    decoder = voe::CreateDecoder(voe::CodecKindAt(index), codec, &error);
    rate = voe::ProcessingRate(codec.plfreq);
    jb.Reset(codec.plfreq);
    if (encoder) frame.resize(encoder->frameSamples());
    block.resize(static_cast<size_t>(rate / 100));
  }

  // One packet's worth: capture blocks raised to the encoder's rate,
  // encoded, carried in RTP through the jitter buffer, decoded and brought
  // back to the channel's rate.
  void Packet() {
    const size_t step = static_cast<size_t>(encoder->rate() / 100);
    for (size_t at = 0; at < frame.size(); at += step) {
      for (size_t i = 0; i < block.size(); ++i, ++phase) block[i] = static_cast<int16_t>((phase * 37) % 20000 - 10000);
      size_t made = 0;
      if (rate == encoder->rate()) {
        std::memcpy(frame.data() + at, block.data(), block.size() * 2);
      } else {
        up.ResetIfNeeded(rate, encoder->rate(), webrtc::kResamplerSynchronous);
        up.Push(block.data(), block.size(), frame.data() + at, step, made);
      }
    }
    uint8_t packet[1600];
    const int length = encoder->Encode(frame.data(), packet + 12, sizeof packet - 12);
    const uint32_t units = static_cast<uint32_t>(codec.pacsize);
    voe::WriteRtpHeader(packet, sizeof packet, static_cast<uint8_t>(codec.pltype), false, sequence, timestamp, 1);
    voe::RtpHeader header;
    if (length > 0 && voe::ReadRtp(packet, static_cast<size_t>(length) + 12, &header)) {
      jb.Insert(header.sequence, header.timestamp, packet + 12, header.payloadLength,
                static_cast<uint32_t>(static_cast<uint64_t>(timestamp) * 1000 / static_cast<uint32_t>(codec.plfreq)));
    }
    ++sequence;
    timestamp += units;
    const uint8_t* payload;
    size_t size;
    if (jb.Next(&payload, &size) == voe::JitterBuffer::kPlay) {
      const int samples = decoder->Decode(payload, size, pcm, sizeof pcm / sizeof pcm[0]);
      jb.Advance(static_cast<uint32_t>(samples > 0 ? samples : codec.pacsize));
      const int decodedStep = decoder->rate() / 100;
      for (int at = 0; samples > 0 && decoder->rate() != rate && at + decodedStep <= samples; at += decodedStep) {
        size_t made = 0;
        down.ResetIfNeeded(decoder->rate(), rate, webrtc::kResamplerSynchronous);
        down.Push(pcm + at, static_cast<size_t>(decodedStep), block.data(), block.size(), made);
      }
    }
  }

  webrtc::CodecInst codec;
  std::unique_ptr<voe::Encoder> encoder;
  std::unique_ptr<voe::Decoder> decoder;
  int rate = 0;
  webrtc::Resampler up, down;
  voe::JitterBuffer jb;
  std::vector<int16_t> block, frame;
  int16_t pcm[5760];
  uint32_t phase = 0, timestamp = 0;
  uint16_t sequence = 0;
};

// One second of one direction per iteration; 20-ms packets.
void MediaPlane(benchmark::State& state) {
  Direction direction(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (!direction.encoder || !direction.decoder) {
    state.SkipWithError("the codec cannot be made");
    return;
  }
  const int packets = direction.codec.plfreq / static_cast<int>(direction.codec.pacsize);
  for (auto _ : state) {
    for (int i = 0; i < packets; ++i) direction.Packet();
  }
  // The time of an iteration is the CPU of one second of one direction:
  // twice it is a call's, per second of call.
  state.SetLabel(direction.codec.plname);
}

}  // namespace

// Database indexes: 0 PCMU, 1 PCMA, 3 opus (20 ms = 960 samples at 48 kHz).
BENCHMARK(MediaPlane)->Args({0, 160})->Args({1, 160})->Args({3, 960})->Unit(benchmark::kMicrosecond);
