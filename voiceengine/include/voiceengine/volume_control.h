// Volumes, mutes and speech levels.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoEVolumeControl {
 public:
  static VoEVolumeControl* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  // 0-255 (255: full scale).
  virtual int SetSpeakerVolume(unsigned int volume) = 0;
  virtual int GetSpeakerVolume(unsigned int& volume) = 0;
  virtual int SetMicVolume(unsigned int volume) = 0;
  virtual int GetMicVolume(unsigned int& volume) = 0;

  // Channel -1 mutes the whole capture.
  virtual int SetInputMute(int channel, bool enable) = 0;
  virtual int GetInputMute(int channel, bool& enabled) = 0;
  virtual int SetSystemInputMute(bool enable) = 0;
  virtual int GetSystemInputMute(bool& enabled) = 0;
  virtual int SetSystemOutputMute(bool enable) = 0;
  virtual int GetSystemOutputMute(bool& enabled) = 0;

  // Levels 0-9 (logarithmic), and 0-32767 for the full-range forms.
  virtual int GetSpeechInputLevel(unsigned int& level) = 0;
  virtual int GetSpeechOutputLevel(int channel, unsigned int& level) = 0;
  virtual int GetSpeechInputLevelFullRange(unsigned int& level) = 0;
  virtual int GetSpeechOutputLevelFullRange(int channel, unsigned int& level) = 0;

  // Software gain of one channel's playout, 0.0 to 10.0.
  virtual int SetChannelOutputVolumeScaling(int channel, float scaling) = 0;
  virtual int GetChannelOutputVolumeScaling(int channel, float& scaling) = 0;

 protected:
  VoEVolumeControl() {}
  virtual ~VoEVolumeControl() {}
};

}  // namespace webrtc
