// The number of simultaneous loopback calls one engine carries: pairs of
// channels of one engine calling each other through its devices and
// sockets, with the share of packets that arrive and the process's CPU.
// Prints figures, never fails. (It needs real devices and runs in real
// time, so it is a plain program rather than a repeated measurement; the
// media plane's CPU per call is voiceengine_media_benchmark.)
#include <windows.h>

#include <cstdio>
#include <vector>

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
  std::printf("simultaneous loopback calls in one engine (PCMU, through its devices and sockets):\n");
  SimultaneousCalls();
  return 0;
}
