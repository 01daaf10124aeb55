// DTMF: telephone events (RFC 4733) or in-band tones.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoEDtmf {
 public:
  static VoEDtmf* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  // Event 0-15 (digits, *, #, A-D); out of band: telephone-event packets,
  // else a tone mixed into the sent audio. Events queue behind each other.
  virtual int SendTelephoneEvent(int channel, int eventCode, bool outOfBand = true,
                                 int lengthMs = 160, int attenuationDb = 10) = 0;
  virtual int SetSendTelephoneEventPayloadType(int channel, unsigned char type) = 0;
  virtual int GetSendTelephoneEventPayloadType(int channel, unsigned char& type) = 0;
  // Whether telephone events received are played out as tones.
  virtual int SetDtmfPlayoutStatus(int channel, bool enable) = 0;
  virtual int GetDtmfPlayoutStatus(int channel, bool& enabled) = 0;

 protected:
  VoEDtmf() {}
  virtual ~VoEDtmf() {}
};

}  // namespace webrtc
