// Test data: the speech of the codec conformance vectors, shared beside the
// clone, and the paths of the test folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "voiceengine/resampler.h"

namespace voicetest {

// A host path as the Windows side sees it (Wine maps Z: to the root).
inline std::string WindowsPath(const std::string& hostPath) {
  std::string path = "Z:" + hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Seconds of 8-kHz speech from the vectors, from `offset` seconds in; empty
// when the shared folder is missing.
inline std::vector<int16_t> Speech8k(double offset, double seconds) {
  std::vector<int16_t> speech;
  const std::string path = WindowsPath(std::string(ZEQ_SHARED_DIR) + "/g729/vectors/pitch.in");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return speech;
  std::fseek(f, static_cast<long>(offset * 8000) * 2, SEEK_SET);
  speech.resize(static_cast<size_t>(seconds * 8000));
  speech.resize(std::fread(speech.data(), 2, speech.size(), f));
  std::fclose(f);
  return speech;
}

// The same audio at another rate.
inline std::vector<int16_t> Resampled(const std::vector<int16_t>& in, int from, int to) {
  if (from == to) return in;
  webrtc::Resampler resampler(from, to, webrtc::kResamplerSynchronous);
  std::vector<int16_t> out(in.size() * static_cast<size_t>(to) / static_cast<size_t>(from) + 64);
  size_t made = 0;
  resampler.Push(in.data(), in.size(), out.data(), out.size(), made);
  out.resize(made);
  return out;
}

}  // namespace voicetest
