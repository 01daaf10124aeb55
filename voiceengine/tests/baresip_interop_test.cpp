// A call with a real peer: baresip (Debian) on loopback, with its file
// source and its recorder. The engine sends a 1 kHz tone and checks what
// baresip recorded; baresip sends 600 Hz and the engine checks what it
// heard. One call per codec.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "signal_analysis.h"
#include "test_files.h"
#include "voice_call.h"

namespace {

using voicetest::TestEngine;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The first channel of a 16-bit PCM WAV file, and its rate.
std::vector<int16_t> ReadWav(const std::string& path, int* rate) {
  const std::string data = ReadText(path);
  std::vector<int16_t> samples;
  *rate = 0;
  int channels = 1;
  if (data.size() < 12 || data.compare(0, 4, "RIFF") || data.compare(8, 4, "WAVE")) return samples;
  for (size_t at = 12; at + 8 <= data.size();) {
    uint32_t size;
    std::memcpy(&size, data.data() + at + 4, 4);
    const std::string id = data.substr(at, 4);
    const size_t body = at + 8;
    if (id == "fmt " && body + 16 <= data.size()) {
      uint16_t ch;
      uint32_t r;
      std::memcpy(&ch, data.data() + body + 2, 2);
      std::memcpy(&r, data.data() + body + 4, 4);
      channels = ch ? ch : 1;
      *rate = static_cast<int>(r);
    } else if (id == "data") {
      const size_t end = std::min(data.size(), body + size);
      for (size_t p = body; p + 2 * channels <= end; p += 2 * channels) {
        int16_t v;
        std::memcpy(&v, data.data() + p, 2);
        samples.push_back(v);
      }
    }
    at = body + size + (size & 1);
  }
  return samples;
}

std::string FindRecording(const std::string& folder, const char* suffix) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*" + suffix).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  FindClose(find);
  return folder + "\\" + found.cFileName;
}

struct PeerCase {
  const char* name;
  const char* peerCodec;
  const char* engineCodec;
  int pltype;
  int enginePort, sipPort, peerRtpFrom;
};

class BaresipCall : public ::testing::TestWithParam<PeerCase> {};

TEST_P(BaresipCall, EachSideRecordsTheOthersTone) {
  const PeerCase& c = GetParam();
  const std::string hostFolder = std::string(ZEQ_VOICE_SCRATCH_DIR) + "/baresip-" + c.name;
  const std::string folder = voicetest::WindowsPath(hostFolder);
  // The folder of this case, without what an earlier run left: the files
  // that pass between the test and the peer, and the recordings.
  CreateDirectoryA(voicetest::WindowsPath(ZEQ_VOICE_SCRATCH_DIR).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(Exists(folder)) << folder;
  for (const char* name : {"remote_port", "stop", "done"}) DeleteFileA((folder + "\\" + name).c_str());
  for (std::string old; !(old = FindRecording(folder + "\\rec", ".wav")).empty();) {
    ASSERT_TRUE(DeleteFileA(old.c_str())) << old;
  }
  ASSERT_TRUE(Exists("Z:\\usr\\bin\\baresip")) << "baresip is not installed (tools/setup.sh installs it)";

  TestEngine e;
  webrtc::CodecInst codec = voicetest::FindCodec(e, c.engineCodec);
  codec.pltype = c.pltype;
  voicetest::CallLeg leg(e, c.enginePort, 21999, codec, voicetest::Tone(1000, 10000));
  ASSERT_TRUE(leg.ok);
  ASSERT_EQ(0, e.base->StartReceive(leg.channel));
  ASSERT_EQ(0, e.base->StartPlayout(leg.channel));

  std::string command = "Z:\\usr\\bin\\python3 " + std::string(ZEQ_VOICE_TESTS_DIR) + "/peers/baresip_peer.py " +
                        hostFolder + " " + c.peerCodec + " " + std::to_string(c.enginePort) + " " +
                        std::to_string(c.sipPort) + " " + std::to_string(c.peerRtpFrom);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  struct Stopper {
    std::string folder;
    ~Stopper() {
      std::ofstream(folder + "\\stop") << "stop";
      voicetest::WaitFor([&] { return Exists(folder + "\\done"); }, 15000);
    }
  } stopper{folder};

  ASSERT_TRUE(voicetest::WaitFor([&] { return Exists(folder + "\\remote_port"); }, 20000))
      << ReadText(folder + "\\peer.log") << ReadText(folder + "\\baresip.log");
  const int peerPort = std::atoi(ReadText(folder + "\\remote_port").c_str());
  ASSERT_GT(peerPort, 0);
  ASSERT_EQ(0, e.base->SetSendDestination(leg.channel, peerPort, "127.0.0.1"));
  ASSERT_EQ(0, e.base->StartSend(leg.channel));

  // Two seconds of baresip's tone heard here; then as long again for its
  // recorder.
  const int rate = leg.recorder.rate() ? leg.recorder.rate() : 8000;
  ASSERT_TRUE(voicetest::WaitFor([&] { return leg.recorder.LoudSamples(1000) >= static_cast<size_t>(2 * rate); },
                                 15000))
      << ReadText(folder + "\\peer.log") << ReadText(folder + "\\baresip.log");
  Sleep(1500);
  std::ofstream(folder + "\\stop") << "stop";
  ASSERT_TRUE(voicetest::WaitFor([&] { return Exists(folder + "\\done"); }, 15000));

  // What the engine heard: its last second, in tenths, mostly clean 600 Hz
  // at the level sent (on a loaded machine a late packet may cost a few
  // tenths to concealment and its fade).
  const std::vector<int16_t> heard = leg.recorder.heard();
  const size_t tenth = static_cast<size_t>(leg.recorder.rate() / 10);
  ASSERT_GT(heard.size(), 10 * tenth);
  int clean = 0;
  for (size_t w = 0; w < 10; ++w) {
    const int16_t* x = heard.data() + heard.size() - (10 - w) * tenth;
    const double level = voicetest::Rms(x, tenth);
    if (voicetest::EnergyShareAt(x, tenth, 600, leg.recorder.rate()) > 0.9 && level > 8000 && level < 14000) ++clean;
  }
  EXPECT_GE(clean, 6);  // 16383 peak: rms 11585

  int recordedRate = 0;
  const std::string file = FindRecording(folder + "\\rec", "-dec.wav");
  ASSERT_FALSE(file.empty()) << "baresip recorded nothing";
  const std::vector<int16_t> recorded = ReadWav(file, &recordedRate);
  ASSERT_GT(recordedRate, 0);
  ASSERT_GT(recorded.size(), static_cast<size_t>(recordedRate) * 2) << file;
  // Its last second but the final 100 ms (the hang-up).
  const size_t from = recorded.size() - static_cast<size_t>(recordedRate) * 11 / 10;
  const double recordedRms = voicetest::Rms(recorded.data() + from, static_cast<size_t>(recordedRate));
  const double recordedShare =
      voicetest::EnergyShareAt(recorded.data() + from, static_cast<size_t>(recordedRate), 1000, recordedRate);
  EXPECT_GT(recordedShare, 0.9);
  EXPECT_GT(recordedRms, 5000);  // 10000 peak: rms 7071
  EXPECT_LT(recordedRms, 9000);
  std::printf("[ figures  ] %s: engine heard 600 Hz cleanly in %d of 10 tenths; baresip recorded %d Hz, 1 kHz "
              "at rms %.0f (share %.2f)\n",
              c.name, clean, recordedRate, recordedRms, recordedShare);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, BaresipCall,
    ::testing::Values(PeerCase{"PCMU", "pcmu", "PCMU", 0, 20400, 25500, 21000},
                      PeerCase{"PCMA", "pcma", "PCMA", 8, 20410, 25510, 21010},
                      PeerCase{"Opus", "opus", "opus", 111, 20420, 25520, 21020}),
    [](const ::testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.name); });

}  // namespace
