// The engine object. Create makes one (holding one reference); each
// sub-interface's GetInterface adds a reference and its Release drops it;
// Delete drops the creator's reference. The engine is freed when the last
// reference is gone, so a sub-interface stays usable until Delete.
#pragma once

#include "voiceengine/types.h"

namespace webrtc {

class VoiceEngine {
 public:
  static VoiceEngine* Create();
  // Drops the creator's reference and clears the pointer. True when that was
  // the last reference and the engine is gone; false (with a trace line) when
  // sub-interfaces are still held: the engine then lives until their release.
  static bool Delete(VoiceEngine*& voiceEngine);

  // Process-wide trace settings: a filter of TraceLevel bits (0: nothing)
  // and the callback that receives the lines (NULL: none).
  static int SetTraceFilter(const unsigned int filter);
  static int SetTraceCallback(TraceCallback* callback);

 protected:
  VoiceEngine() {}
  virtual ~VoiceEngine() {}
};

}  // namespace webrtc
