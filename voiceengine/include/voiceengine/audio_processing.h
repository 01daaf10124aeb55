// Noise suppression, automatic gain control and echo cancellation of the
// captured audio.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoEAudioProcessing {
 public:
  static VoEAudioProcessing* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  virtual int SetNsStatus(bool enable, NsModes mode = kNsUnchanged) = 0;
  virtual int GetNsStatus(bool& enabled, NsModes& mode) = 0;
  virtual int SetAgcStatus(bool enable, AgcModes mode = kAgcUnchanged) = 0;
  virtual int GetAgcStatus(bool& enabled, AgcModes& mode) = 0;
  virtual int SetEcStatus(bool enable, EcModes mode = kEcUnchanged) = 0;
  virtual int GetEcStatus(bool& enabled, EcModes& mode) = 0;

 protected:
  VoEAudioProcessing() {}
  virtual ~VoEAudioProcessing() {}
};

}  // namespace webrtc
