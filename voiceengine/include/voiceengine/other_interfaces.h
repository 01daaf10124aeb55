// Sub-interfaces that the system takes and releases with the others but
// never calls: encryption, video synchronisation, external transport and
// files. They hold references like every interface.
#pragma once

namespace webrtc {

class VoiceEngine;

class VoEEncryption {
 public:
  static VoEEncryption* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;
 protected:
  virtual ~VoEEncryption() {}
};

class VoEVideoSync {
 public:
  static VoEVideoSync* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;
 protected:
  virtual ~VoEVideoSync() {}
};

class VoENetwork {
 public:
  static VoENetwork* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;
 protected:
  virtual ~VoENetwork() {}
};

class VoEFile {
 public:
  static VoEFile* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;
 protected:
  virtual ~VoEFile() {}
};

}  // namespace webrtc
