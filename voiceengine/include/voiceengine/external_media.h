// The caller's own processing of every 10-ms block of audio.
#pragma once

#include <cstdint>

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

// Called on the engine's audio threads with one 10-ms block (length samples
// per channel at samplingFreq Hz), which it may rewrite in place.
class VoEMediaProcess {
 public:
  virtual void Process(int channel, ProcessingTypes type, int16_t audio10ms[], int length,
                       int samplingFreq, bool isStereo) = 0;
 protected:
  virtual ~VoEMediaProcess() {}
};

class VoEExternalMedia {
 public:
  static VoEExternalMedia* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  // Per-channel types name a channel; the mixed types take channel -1.
  virtual int RegisterExternalMediaProcessing(int channel, ProcessingTypes type,
                                              VoEMediaProcess& processObject) = 0;
  virtual int DeRegisterExternalMediaProcessing(int channel, ProcessingTypes type) = 0;

 protected:
  VoEExternalMedia() {}
  virtual ~VoEExternalMedia() {}
};

}  // namespace webrtc
