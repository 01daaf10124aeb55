// The SDP texts this side writes: offer, answer and the current codec (hold
// changes). Each is assembled in a bounded writer; a text that would not fit
// the caller's buffer is refused, never cut.
#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "media/sdp.h"

namespace {

class SDPWriter {
 public:
  SDPWriter(char* out, size_t size) : out_(out), size_(size) {
    if (size_) out_[0] = 0;
  }
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (failed_) return;
    va_list args;
    va_start(args, format);
    const int n = size_ > used_ ? vsnprintf(out_ + used_, size_ - used_, format, args) : -1;
    va_end(args);
    // The line and its CR LF must fit with the terminator.
    if (n < 0 || static_cast<size_t>(n) + 2 >= size_ - used_) {
      failed_ = true;
      return;
    }
    used_ += static_cast<size_t>(n);
    out_[used_++] = '\r';
    out_[used_++] = '\n';
    out_[used_] = 0;
  }
  void Append(const char* text) { Line("%s", text); }
  // 1 with the finished text (TABs removed), 0 with an empty one.
  int Finish() {
    if (failed_ || !size_) {
      if (size_) out_[0] = 0;
      return 0;
    }
    size_t kept = 0;
    for (size_t i = 0; i < used_; ++i)
      if (out_[i] != '\t') out_[kept++] = out_[i];
    out_[kept] = 0;
    return 1;
  }

 private:
  char* out_;
  size_t size_;
  size_t used_ = 0;
  bool failed_ = false;
};

bool NameIs(const webrtc::CodecInst& c, const char* name) { return strcasecmp(c.plname, name) == 0; }

// A name printed as read: at most its field, even when the entry lacks a
// terminator.
int NameWidth(const webrtc::CodecInst& c) { return static_cast<int>(strnlen(c.plname, sizeof c.plname)); }

void SessionPart(SDPWriter* w, const SDPCallMedia* call, const int* types, int count) {
  w->Append("v=0");
  w->Line("o=- %u %u IN IP4 %.35s", call->sessionId, call->sessionVersion, call->localMediaIP);
  w->Line("s=%.131s", call->userAgent);
  w->Line("c=IN IP4 %.35s", call->connectionIP);
  w->Append("t=0 0");
  // At most kSDPMaxCodecs payload types of up to eleven characters each.
  char media[32 + 12 * kSDPMaxCodecs];
  size_t used = static_cast<size_t>(snprintf(media, sizeof media, "m=audio %d RTP/AVP", call->rtpPort));
  for (int i = 0; i < count && used < sizeof media; ++i)
    used += static_cast<size_t>(snprintf(media + used, sizeof media - used, " %d", types[i]));
  w->Append(media);
}

// The rtpmap line of an entry (opus always with two channels), then its
// format parameters where the system writes some.
void CodecLines(SDPWriter* w, const webrtc::CodecInst& c) {
  w->Line("a=rtpmap:%d %.*s/%d/%d", c.pltype, NameWidth(c), c.plname, c.plfreq, NameIs(c, "opus") ? 2 : c.channels);
  if (NameIs(c, "iLBC")) w->Line("a=fmtp:%d mode=%d", c.pltype, c.pltype == 97 ? 20 : 30);
  if (NameIs(c, "opus")) w->Line("a=fmtp:%d useinbandfec=1; maxptime=40", c.pltype);
}

}  // namespace

int SIPSDPDirectionLine(char* out, size_t size, int32_t localHold, int32_t remoteHold, int mode) {
  const char* line;
  if (mode) {
    line = localHold ? "a=sendonly" : "a=sendrecv";
  } else {
    line = localHold && remoteHold ? "a=inactive" : localHold ? "a=sendonly" : remoteHold ? "a=recvonly" : "a=sendrecv";
  }
  SDPWriter w(out, size);
  w.Append(line);
  return w.Finish();
}

namespace {

void DirectionLine(SDPWriter* w, int32_t localHold, int32_t remoteHold, int mode) {
  char line[16];
  SIPSDPDirectionLine(line, sizeof line, localHold, remoteHold, mode);
  line[strcspn(line, "\r")] = 0;
  w->Append(line);
}

// The media part shared by the answer and the current-codec text.
int CallCodecText(char* out, size_t size, int mode, int32_t localHold, int32_t remoteHold, bool generalEventLine,
                  SDPCallMedia* call) {
  webrtc::CodecInst event = {};
  const bool hasEvent = SIPFindCodecByName(&call->codecs, "telephone-event", &event);
  int types[2] = {call->callCodec.pltype, event.pltype};
  SDPWriter w(out, size);
  SessionPart(&w, call, types, hasEvent ? 2 : 1);
  CodecLines(&w, call->callCodec);
  if (hasEvent) {
    if (generalEventLine)
      w.Line("a=rtpmap:%d %.*s/%d/%d", event.pltype, NameWidth(event), event.plname, event.plfreq, event.channels);
    else
      w.Line("a=rtpmap:%d telephone-event/8000", event.pltype);
    w.Line("a=fmtp:%d 0-16", event.pltype);
  }
  w.Append("a=silenceSupp:off - - - -");
  DirectionLine(&w, localHold, remoteHold, mode);
  return w.Finish();
}

}  // namespace

int SIPPrepareSDPOffer(char* out, size_t size, SDPCallMedia* call) {
  SDPWriter w(out, size);
  {
    ZEQLockScope hold(call->codecs.lock);
    const int count = call->codecs.count;
    int types[kSDPMaxCodecs] = {};
    for (int i = 0; i < count; ++i) types[i] = call->codecs.entries[i].pltype;
    SessionPart(&w, call, types, count);
    for (int i = 0; i < count; ++i) {
      const webrtc::CodecInst& c = call->codecs.entries[i];
      CodecLines(&w, c);
      if (NameIs(c, "telephone-event")) w.Line("a=fmtp:%d 0-16", c.pltype);
    }
  }
  w.Append("a=silenceSupp:off - - - -");
  w.Append(call->localHold ? "a=sendonly" : "a=sendrecv");
  if (!w.Finish()) return 0;
  SIPParseSDP(&call->offerSDP, out);
  return 1;
}

int SIPPrepareSDPAnswer(char* out, size_t size, SDPCallMedia* call) {
  if (!call->callCodecSet) {
    if (size) out[0] = 0;
    if (call->log) call->log("SIPPrepareSDPAnswer - No Codec Defined.");
    return 0;
  }
  if (!CallCodecText(out, size, 0, call->localHold, call->remoteHold, false, call)) return 0;
  SIPParseSDP(&call->answerSDP, out);
  return 1;
}

int SIPPrepareCurrentCodecSDP(char* out, size_t size, int mode, int32_t localHold, int32_t remoteHold,
                              SDPCallMedia* call) {
  return CallCodecText(out, size, mode, localHold, remoteHold, true, call);
}

int SIPPrepareSDP(char* out, size_t size, uint32_t flags, SDPCallMedia* call) {
  if (!(flags & 1) && call->offerSDP.text[0]) return SIPPrepareSDPAnswer(out, size, call);
  return SIPPrepareSDPOffer(out, size, call);
}
