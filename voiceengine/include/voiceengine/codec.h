// The codec database and the codecs of a channel.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine;

class VoECodec {
 public:
  static VoECodec* GetInterface(VoiceEngine* voiceEngine);
  virtual int Release() = 0;

  virtual int NumOfCodecs() = 0;
  virtual int GetCodec(int index, CodecInst& codec) = 0;
  virtual int SetSendCodec(int channel, const CodecInst& codec) = 0;
  virtual int GetSendCodec(int channel, CodecInst& codec) = 0;
  // The codec of the last packet received and decoded.
  virtual int GetRecCodec(int channel, CodecInst& codec) = 0;
  // Receives the codec under codec.pltype; a pltype of -1 stops receiving it.
  virtual int SetRecPayloadType(int channel, const CodecInst& codec) = 0;
  virtual int GetRecPayloadType(int channel, CodecInst& codec) = 0;

 protected:
  VoECodec() {}
  virtual ~VoECodec() {}
};

}  // namespace webrtc
