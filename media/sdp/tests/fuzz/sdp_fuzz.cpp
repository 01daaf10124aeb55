// Fuzzes the SDP reader and what reads its record: the codec choice, DTMF
// negotiation, the session-change test and an answer written from it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "media/sdp.h"

namespace {

webrtc::CodecInst Codec(int pltype, const char* name, int plfreq) {
  webrtc::CodecInst c = {};
  c.pltype = pltype;
  snprintf(c.plname, sizeof c.plname, "%s", name);
  c.plfreq = plfreq;
  c.pacsize = 160;
  c.channels = 1;
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size) memcpy(text.get(), data, size);
  text[size] = 0;
  static const webrtc::CodecInst database[] = {Codec(0, "PCMU", 8000), Codec(8, "PCMA", 8000),
                                               Codec(18, "G729", 8000), Codec(111, "opus", 48000),
                                               Codec(97, "iLBC", 8000), Codec(101, "telephone-event", 8000)};
  auto call = std::make_unique<SDPCallMedia>();
  for (const char* spec : {"PCMU,0,8000", "PCMA,8,8000", "G729,18,8000", "opus,120,48000", "iLBC,98,8000",
                           "telephone-event,101,8000"})
    SDPAddCodecFromSpec(&call->codecs, spec, database, 6);
  snprintf(call->localMediaIP, sizeof call->localMediaIP, "10.0.0.1");
  snprintf(call->connectionIP, sizeof call->connectionIP, "10.0.0.1");
  SIPParseSDP(&call->offerSDP, text.get());
  SIPSelectCodecFromSDP(&call->offerSDP, -1, 1, call.get());
  SIPSessionHasChanged(2, call.get());
  char out[kSDPTextSize];
  SIPPrepareSDP(out, sizeof out, 0, call.get());
  SIPParseSDP(&call->answerSDP, out);
  // The codec description reader too: the same bytes as "name,number,rate".
  SDPAddCodecFromSpec(&call->codecs, text.get(), database, 6);
  return 0;
}
