#include <cstring>

#include "codecs.h"
#include "voiceengine/errors.h"

namespace voe {
namespace {

struct Entry {
  webrtc::CodecInst codec;
  CodecKind kind;
  int minPacket, maxPacket, step;  // allowed pacsize: from, to, multiple of
};

// Payload types are the static ones of RFC 3551; dynamic ones are the
// defaults the SDP usually renumbers.
const Entry kCodecs[] = {
    {{0, "PCMU", 8000, 160, 1, 64000}, CodecKind::kPcmu, 80, 480, 80},
    {{8, "PCMA", 8000, 160, 1, 64000}, CodecKind::kPcma, 80, 480, 80},
    {{18, "G729", 8000, 160, 1, 8000}, CodecKind::kG729, 80, 480, 80},
    {{120, "opus", 48000, 960, 2, 64000}, CodecKind::kOpus, 480, 2880, 480},
    {{106, "telephone-event", 8000, 240, 1, 0}, CodecKind::kTelephoneEvent, 0, 0, 0},
};

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

int CodecCount() { return static_cast<int>(sizeof kCodecs / sizeof kCodecs[0]); }
const webrtc::CodecInst& CodecAt(int index) { return kCodecs[index].codec; }
CodecKind CodecKindAt(int index) { return kCodecs[index].kind; }

int FindCodec(const webrtc::CodecInst& codec) {
  if (!memchr(codec.plname, 0, sizeof codec.plname)) return -1;
  for (int i = 0; i < CodecCount(); ++i) {
    if (SameName(kCodecs[i].codec.plname, codec.plname) && kCodecs[i].codec.plfreq == codec.plfreq) {
      return i;
    }
  }
  return -1;
}

int CheckSendCodec(const webrtc::CodecInst& codec) {
  const int index = FindCodec(codec);
  if (index < 0) {
    for (const Entry& e : kCodecs) {
      if (memchr(codec.plname, 0, sizeof codec.plname) && SameName(e.codec.plname, codec.plname)) {
        return VE_INVALID_PLFREQ;
      }
    }
    return VE_INVALID_PLNAME;
  }
  const Entry& e = kCodecs[index];
  if (e.kind == CodecKind::kTelephoneEvent) return VE_INVALID_ARGUMENT;
  if (codec.pltype < 0 || codec.pltype > 127) return VE_INVALID_PLTYPE;
  if (codec.pacsize < e.minPacket || codec.pacsize > e.maxPacket || codec.pacsize % e.step) {
    return VE_INVALID_PACSIZE;
  }
  if (codec.channels < 1 || codec.channels > e.codec.channels) return VE_INVALID_CHANNELS;
  return 0;
}

int ProcessingRate(int clockRate) { return clockRate > 32000 ? 32000 : clockRate; }

}  // namespace voe
