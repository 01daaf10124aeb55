// Benchmark of the voice engine: prints figures, never fails.
// 1. CPU per call of the media plane for each codec: encode, RTP write and
//    read, jitter buffer, decode and the resampling a channel does, for both
//    directions of a call, per second of call.
// 2. Simultaneous loopback calls one engine carries: pairs of channels of
//    one engine calling each other through its devices and sockets, with
//    the share of packets that arrive and the capture's pace.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs.h"
#include "jitter_buffer.h"
#include "rtp_packet.h"
#include "voiceengine/voiceengine.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One direction of a call for `seconds` of audio; the time it took.
double OneDirection(int index, int pacsize, double seconds) {
  webrtc::CodecInst codec = voe::CodecAt(index);
  codec.pacsize = pacsize;
  int error = 0;
  std::unique_ptr<voe::Encoder> encoder = voe::CreateEncoder(voe::CodecKindAt(index), codec, &error);
  std::unique_ptr<voe::Decoder> decoder = voe::CreateDecoder(voe::CodecKindAt(index), codec, &error);
  if (!encoder || !decoder) return -1;
  const int rate = voe::ProcessingRate(codec.plfreq);
  webrtc::Resampler up, down;
  voe::JitterBuffer jb;
  jb.Reset(codec.plfreq);
  std::vector<int16_t> block(static_cast<size_t>(rate / 100)), frame(encoder->frameSamples()), pcm(5760);
  const size_t frames = static_cast<size_t>(seconds * encoder->rate() / static_cast<double>(encoder->frameSamples()));
  const double start = Seconds();
  uint32_t phase = 0;
  for (size_t f = 0; f < frames; ++f) {
    // The frame's audio in 10-ms blocks at the processing rate, raised to the encoder's rate.
    for (size_t at = 0; at < frame.size(); at += static_cast<size_t>(encoder->rate() / 100)) {
      for (size_t i = 0; i < block.size(); ++i, ++phase) block[i] = static_cast<int16_t>((phase * 37) % 20000 - 10000);
      size_t made = 0;
      if (rate == encoder->rate()) {
        std::memcpy(frame.data() + at, block.data(), block.size() * 2);
      } else {
        up.ResetIfNeeded(rate, encoder->rate(), webrtc::kResamplerSynchronous);
        up.Push(block.data(), block.size(), frame.data() + at, static_cast<size_t>(encoder->rate() / 100), made);
      }
    }
    uint8_t packet[1600];
    const int length = encoder->Encode(frame.data(), packet + 12, sizeof packet - 12);
    voe::WriteRtpHeader(packet, sizeof packet, static_cast<uint8_t>(codec.pltype), false, static_cast<uint16_t>(f),
                        static_cast<uint32_t>(f * static_cast<size_t>(pacsize)), 1);
    voe::RtpHeader header;
    voe::ReadRtp(packet, static_cast<size_t>(length) + 12, &header);
    jb.Insert(header.sequence, header.timestamp, packet + 12, header.payloadLength,
              static_cast<uint32_t>(f * static_cast<size_t>(pacsize) * 1000 / static_cast<size_t>(codec.plfreq)));
    const uint8_t* payload;
    size_t size;
    if (jb.Next(&payload, &size) == voe::JitterBuffer::kPlay) {
      const int samples = decoder->Decode(payload, size, pcm.data(), pcm.size());
      jb.Advance(static_cast<uint32_t>(samples > 0 ? samples : pacsize));
      for (int at = 0; samples > 0 && at < samples; at += decoder->rate() / 100) {
        if (decoder->rate() != rate) {
          size_t made = 0;
          down.ResetIfNeeded(decoder->rate(), rate, webrtc::kResamplerSynchronous);
          down.Push(pcm.data() + at, static_cast<size_t>(decoder->rate() / 100), block.data(), block.size(), made);
        }
      }
    }
  }
  return Seconds() - start;
}

struct Pair {
  int a, b;
};

void SimultaneousCalls() {
  webrtc::VoiceEngine* engine = webrtc::VoiceEngine::Create();
  webrtc::VoEBase* base = webrtc::VoEBase::GetInterface(engine);
  webrtc::VoERTP_RTCP* rtp = webrtc::VoERTP_RTCP::GetInterface(engine);
  webrtc::VoECodec* codec = webrtc::VoECodec::GetInterface(engine);
  if (base->Init() != 0) {
    std::printf("engine: Init failed (%d)\n", base->LastError());
    return;
  }
  for (int calls : {1, 4, 8, 16}) {
    std::vector<Pair> pairs;
    bool ok = true;
    for (int i = 0; i < calls && ok; ++i) {
      Pair p = {base->CreateChannel(), base->CreateChannel()};
      const int port = 21100 + 4 * i;
      ok = p.a >= 0 && p.b >= 0 && base->SetLocalReceiver(p.a, port) == 0 &&
           base->SetLocalReceiver(p.b, port + 2) == 0 && base->SetSendDestination(p.a, port + 2, "127.0.0.1") == 0 &&
           base->SetSendDestination(p.b, port, "127.0.0.1") == 0;
      webrtc::CodecInst pcmu;
      codec->GetCodec(0, pcmu);
      for (int ch : {p.a, p.b}) {
        ok = ok && codec->SetSendCodec(ch, pcmu) == 0 && base->StartReceive(ch) == 0 && base->StartPlayout(ch) == 0 &&
             base->StartSend(ch) == 0;
      }
      pairs.push_back(p);
    }
    if (!ok) {
      std::printf("calls %2d: set-up failed (%d)\n", calls, base->LastError());
      break;
    }
    Sleep(1500);  // the devices start and the jitter buffers fill
    webrtc::CallStatistics before[64], after[64];
    for (size_t i = 0; i < pairs.size(); ++i) {
      rtp->GetRTCPStatistics(pairs[i].a, before[2 * i]);
      rtp->GetRTCPStatistics(pairs[i].b, before[2 * i + 1]);
    }
    const double start = Seconds();
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel0, &user0);
    Sleep(3000);
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel1, &user1);
    const double elapsed = Seconds() - start;
    long long sent = 0, received = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
      rtp->GetRTCPStatistics(pairs[i].a, after[2 * i]);
      rtp->GetRTCPStatistics(pairs[i].b, after[2 * i + 1]);
    }
    for (size_t i = 0; i < 2 * pairs.size(); ++i) {
      sent += after[i].packetsSent - before[i].packetsSent;
      received += after[i].packetsReceived - before[i].packetsReceived;
    }
    auto ticks = [](const FILETIME& t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const double cpu = (ticks(kernel1) + ticks(user1) - ticks(kernel0) - ticks(user0)) / 1e7;
    std::printf("calls %2d: %lld packets sent, %.1f%% arrived, %.0f packets/s expected %d, process CPU %.0f%% of a core\n",
                calls, sent, sent ? 100.0 * received / sent : 0.0, sent / elapsed, calls * 2 * 50, 100 * cpu / elapsed);
    for (const Pair& p : pairs) {
      base->DeleteChannel(p.a);
      base->DeleteChannel(p.b);
    }
  }
  codec->Release();
  rtp->Release();
  base->Release();
  webrtc::VoiceEngine::Delete(engine);
}

}  // namespace

int main() {
  std::printf("media plane per call (both directions), 20-ms packets, 10 s of audio:\n");
  const struct { int index, pacsize; } cases[] = {{0, 160}, {1, 160}, {3, 960}};
  for (const auto& c : cases) {
    const double t = 2 * OneDirection(c.index, c.pacsize, 10.0);
    std::printf("  %-5s %8.1f us per second of call = %.3f%% of a core\n", voe::CodecAt(c.index).plname, t * 1e5,
                t * 10.0);
  }
  std::printf("simultaneous loopback calls in one engine (PCMU, through its devices and sockets):\n");
  SimultaneousCalls();
  return 0;
}
