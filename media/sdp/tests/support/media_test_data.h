// Test data of the media negotiation tests: files of tests/data read whole.
#pragma once
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "media/sdp.h"

inline std::string ReadMediaTestFile(const std::string& name) {
  std::ifstream in(std::string(MEDIA_TEST_DATA) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The engine's codecs as the system offers them.
inline webrtc::CodecInst TestCodec(int pltype, const char* name, int plfreq, int pacsize, int channels, int rate) {
  webrtc::CodecInst c = {};
  c.pltype = pltype;
  snprintf(c.plname, sizeof c.plname, "%s", name);
  c.plfreq = plfreq;
  c.pacsize = pacsize;
  c.channels = channels;
  c.rate = rate;
  return c;
}
