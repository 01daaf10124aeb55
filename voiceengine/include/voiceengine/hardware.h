// Audio devices: counts, names, selection and the audio layer.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoEHardware {
 public:
  static VoEHardware* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  virtual int GetNumOfRecordingDevices(int& devices) = 0;
  virtual int GetNumOfPlayoutDevices(int& devices) = 0;
  // Names and identifiers in UTF-8; index -1 is the system's default device.
  virtual int GetRecordingDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) = 0;
  virtual int GetPlayoutDeviceName(int index, char strNameUTF8[128], char strGuidUTF8[128]) = 0;
  virtual int SetRecordingDevice(int index, StereoChannel recordingChannel = kStereoBoth) = 0;
  virtual int SetPlayoutDevice(int index) = 0;

  // The wave layer (1, also the default) and Core Audio (2), chosen before
  // Init; device indexes are the chosen layer's own.
  virtual int SetAudioDeviceLayer(AudioLayers audioLayer) = 0;
  virtual int GetAudioDeviceLayer(AudioLayers& audioLayer) = 0;

 protected:
  VoEHardware() {}
  virtual ~VoEHardware() {}
};

}  // namespace webrtc
