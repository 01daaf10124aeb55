#include "audio_processing_module.h"

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

namespace voe {
namespace {

SpeexPreprocessState* Pre(void* p) { return static_cast<SpeexPreprocessState*>(p); }
SpeexEchoState* Echo(void* p) { return static_cast<SpeexEchoState*>(p); }

}  // namespace

AudioProcessingModule::AudioProcessingModule(int rate)
    : rate_(rate), block_(static_cast<size_t>(rate / 100)) {
  preprocess_ = speex_preprocess_state_init(static_cast<int>(block_), rate_);
  // A 100-ms echo tail.
  echo_ = speex_echo_state_init(static_cast<int>(block_), rate_ / 10);
  if (echo_) speex_echo_ctl(Echo(echo_), SPEEX_ECHO_SET_SAMPLING_RATE, &rate_);
  ApplySettings();
}

AudioProcessingModule::~AudioProcessingModule() {
  if (preprocess_) speex_preprocess_state_destroy(Pre(preprocess_));
  if (echo_) speex_echo_state_destroy(Echo(echo_));
}

void AudioProcessingModule::SetNoiseSuppression(bool enable, webrtc::NsModes mode) {
  ns_ = enable;
  switch (mode) {
    case webrtc::kNsLowSuppression: nsDb_ = -6; break;
    case webrtc::kNsDefault:
    case webrtc::kNsModerateSuppression: nsDb_ = -15; break;
    case webrtc::kNsHighSuppression:
    case webrtc::kNsConference: nsDb_ = -21; break;
    case webrtc::kNsVeryHighSuppression: nsDb_ = -30; break;
    case webrtc::kNsUnchanged: break;
  }
  ApplySettings();
}

void AudioProcessingModule::SetGainControl(bool enable, webrtc::AgcModes) {
  agc_ = enable;
  ApplySettings();
}

void AudioProcessingModule::SetEchoControl(bool enable, webrtc::EcModes) {
  if (enable && !ec_ && echo_) speex_echo_state_reset(Echo(echo_));
  ec_ = enable;
  ApplySettings();
}

void AudioProcessingModule::ApplySettings() {
  if (!preprocess_) return;
  int on = ns_ ? 1 : 0;
  speex_preprocess_ctl(Pre(preprocess_), SPEEX_PREPROCESS_SET_DENOISE, &on);
  int db = nsDb_;
  speex_preprocess_ctl(Pre(preprocess_), SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &db);
  on = agc_ ? 1 : 0;
  speex_preprocess_ctl(Pre(preprocess_), SPEEX_PREPROCESS_SET_AGC, &on);
  float level = 8000.0f;
  speex_preprocess_ctl(Pre(preprocess_), SPEEX_PREPROCESS_SET_AGC_LEVEL, &level);
  void* echo = ec_ ? echo_ : nullptr;
  speex_preprocess_ctl(Pre(preprocess_), SPEEX_PREPROCESS_SET_ECHO_STATE, echo);
}

void AudioProcessingModule::Played(const int16_t* block) {
  if (ec_ && echo_) speex_echo_playback(Echo(echo_), block);
}

void AudioProcessingModule::Captured(int16_t* block) {
  if (ec_ && echo_) {
    int16_t cleaned[480];
    speex_echo_capture(Echo(echo_), block, cleaned);
    for (size_t i = 0; i < block_; ++i) block[i] = cleaned[i];
  }
  if (preprocess_ && (ns_ || agc_ || ec_)) speex_preprocess_run(Pre(preprocess_), block);
}

}  // namespace voe
