// RTP and RTCP facts of a channel.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoERTP_RTCP {
 public:
  static VoERTP_RTCP* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  virtual int GetLocalSSRC(int channel, unsigned int& ssrc) = 0;
  // The SSRC of the stream being received; fails before the first packet.
  virtual int GetRemoteSSRC(int channel, unsigned int& ssrc) = 0;
  // Own counters and the last report block received from the peer.
  virtual int GetRTCPStatistics(int channel, CallStatistics& stats) = 0;

 protected:
  VoERTP_RTCP() {}
  virtual ~VoERTP_RTCP() {}
};

}  // namespace webrtc
