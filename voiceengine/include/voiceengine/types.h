// Types shared by every interface of the voice engine: codec records, the
// enumerated settings the callers pass, the trace callback and statistics.
#pragma once

#include <cstdint>

namespace webrtc {

// "Use the engine's default" for ports and other optional numbers.
constexpr int kVoEDefault = -1;

// One codec as the engine knows it and as the SDP negotiates it.
struct CodecInst {
  int pltype;        // RTP payload type
  char plname[32];   // encoding name ("PCMU", "opus", ...)
  int plfreq;        // RTP clock rate in Hz
  int pacsize;       // samples per packet at plfreq
  int channels;
  int rate;          // bits per second
};

// Bits of the trace filter; a line is delivered when its level is in it.
enum TraceLevel {
  kTraceNone = 0x0000,
  kTraceStateInfo = 0x0001,
  kTraceWarning = 0x0002,
  kTraceError = 0x0004,
  kTraceCritical = 0x0008,
  kTraceApiCall = 0x0010,
  kTraceDefault = 0x00ff,
  kTraceModuleCall = 0x0020,
  kTraceMemory = 0x0100,
  kTraceTimer = 0x0200,
  kTraceStream = 0x0400,
  kTraceDebug = 0x0800,
  kTraceInfo = 0x1000,
  kTraceAll = 0xffff
};

// Receives the engine's trace lines, on whatever thread wrote them.
class TraceCallback {
 public:
  virtual void Print(TraceLevel level, const char* message, int length) = 0;
 protected:
  virtual ~TraceCallback() {}
};

// Where an external media processor sees the audio.
enum ProcessingTypes {
  kPlaybackPerChannel = 0,
  kPlaybackAllChannelsMixed = 1,
  kRecordingPerChannel = 2,
  kRecordingAllChannelsMixed = 3
};

enum NsModes {
  kNsUnchanged = 0,
  kNsDefault,
  kNsConference,
  kNsLowSuppression,
  kNsModerateSuppression,
  kNsHighSuppression,
  kNsVeryHighSuppression
};

enum AgcModes {
  kAgcUnchanged = 0,
  kAgcDefault,
  kAgcAdaptiveAnalog,
  kAgcAdaptiveDigital,
  kAgcFixedDigital
};

enum EcModes {
  kEcUnchanged = 0,
  kEcDefault,
  kEcConference,
  kEcAec,
  kEcAecm
};

// What a channel on hold stops: both directions, sending only, playout only.
enum OnHoldModes {
  kHoldSendAndPlay = 0,
  kHoldSendOnly,
  kHoldPlayOnly
};

enum NetEqModes {
  kNetEqDefault = 0,
  kNetEqStreaming = 1,
  kNetEqFax = 2
};

enum NetEqBgnModes {
  kBgnOn = 0,
  kBgnFade = 1,
  kBgnOff = 2
};

enum AudioLayers {
  kAudioPlatformDefault = 0,
  kAudioWindowsWave = 1,
  kAudioWindowsCore = 2,
  kAudioLinuxAlsa = 3,
  kAudioLinuxPulse = 4
};

enum StereoChannel {
  kStereoLeft = 0,
  kStereoRight,
  kStereoBoth
};

// RTP and RTCP figures of one channel (RFC 3550 report block terms).
struct CallStatistics {
  unsigned short fractionLost;   // of the last report interval, in 1/256
  unsigned int cumulativeLost;
  unsigned int extendedMax;      // highest sequence number received, extended
  unsigned int jitterSamples;    // interarrival jitter in RTP clock units
  int rttMs;                     // from the peer's last report block; -1 unknown
  int bytesSent;
  int packetsSent;
  int bytesReceived;
  int packetsReceived;
};

class AudioDeviceModule;

}  // namespace webrtc
