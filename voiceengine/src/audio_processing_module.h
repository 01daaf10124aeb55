// Processing of the captured audio at the device rate, 10 ms at a time:
// echo cancellation against what was played, noise suppression and
// automatic gain control (speexdsp's echo canceller and preprocessor).
#pragma once

#include <cstddef>
#include <cstdint>

#include "voiceengine/types.h"

namespace voe {

class AudioProcessingModule {
 public:
  explicit AudioProcessingModule(int rate);
  ~AudioProcessingModule();
  AudioProcessingModule(const AudioProcessingModule&) = delete;
  AudioProcessingModule& operator=(const AudioProcessingModule&) = delete;

  bool valid() const { return preprocess_ && echo_; }
  void SetNoiseSuppression(bool enable, webrtc::NsModes mode);
  void SetGainControl(bool enable, webrtc::AgcModes mode);
  void SetEchoControl(bool enable, webrtc::EcModes mode);

  // One 10-ms block of played audio (the echo canceller's reference).
  void Played(const int16_t* block);
  // One 10-ms block of captured audio, processed in place.
  void Captured(int16_t* block);

  size_t blockSamples() const { return block_; }

 private:
  void ApplySettings();
  int rate_;
  size_t block_;
  void* preprocess_ = nullptr;
  void* echo_ = nullptr;
  bool ns_ = false, agc_ = false, ec_ = false;
  int nsDb_ = -15;
};

}  // namespace voe
