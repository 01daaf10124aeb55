// Channels and their network and playout state.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoEBase {
 public:
  static VoEBase* GetInterface(VoiceEngine* voiceEngine);
  // Drops this interface's reference: the references it still has, or -1
  // (VE_INTERFACE_NOT_FOUND) when it held none.
  virtual int Release() = 0;

  // Opens the audio device layer. Only the engine's own devices are served:
  // an external device module is refused.
  virtual int Init(AudioDeviceModule* external_adm = 0) = 0;
  virtual int Terminate() = 0;
  virtual int MaxNumOfChannels() = 0;
  // A new channel id, or -1.
  virtual int CreateChannel() = 0;
  virtual int DeleteChannel(int channel) = 0;

  // Binds the channel's RTP socket (and RTCP on RTCPport, by default port+1).
  virtual int SetLocalReceiver(int channel, int port, int RTCPport = kVoEDefault,
                               const char ipAddr[64] = 0, const char multiCastAddr[64] = 0) = 0;
  virtual int GetLocalReceiver(int channel, int& port, int& RTCPport, char ipAddr[64]) = 0;
  virtual int SetSendDestination(int channel, int port, const char ipAddr[64],
                                 int sourcePort = kVoEDefault, int RTCPport = kVoEDefault) = 0;
  virtual int GetSendDestination(int channel, int& port, char ipAddr[64], int& sourcePort,
                                 int& RTCPport) = 0;

  virtual int StartReceive(int channel) = 0;
  virtual int StopReceive(int channel) = 0;
  virtual int StartPlayout(int channel) = 0;
  virtual int StopPlayout(int channel) = 0;
  virtual int StartSend(int channel) = 0;
  virtual int StopSend(int channel) = 0;

  virtual int GetVersion(char version[1024]) = 0;
  // The error number of the last failed call on this engine (errors.h).
  virtual int LastError() = 0;

  virtual int SetOnHoldStatus(int channel, bool enable, OnHoldModes mode = kHoldSendAndPlay) = 0;
  virtual int GetOnHoldStatus(int channel, bool& enabled, OnHoldModes& mode) = 0;
  virtual int SetNetEQPlayoutMode(int channel, NetEqModes mode) = 0;
  virtual int GetNetEQPlayoutMode(int channel, NetEqModes& mode) = 0;
  virtual int SetNetEQBGNMode(int channel, NetEqBgnModes mode) = 0;
  virtual int GetNetEQBGNMode(int channel, NetEqBgnModes& mode) = 0;

 protected:
  VoEBase() {}
  virtual ~VoEBase() {}
};

}  // namespace webrtc
