// The voice engine: every interface in one include.
#pragma once

#include "voiceengine/audio_processing.h"
#include "voiceengine/base.h"
#include "voiceengine/codec.h"
#include "voiceengine/dtmf.h"
#include "voiceengine/errors.h"
#include "voiceengine/external_media.h"
#include "voiceengine/hardware.h"
#include "voiceengine/other_interfaces.h"
#include "voiceengine/resampler.h"
#include "voiceengine/rtp_rtcp.h"
#include "voiceengine/types.h"
#include "voiceengine/voice_engine.h"
#include "voiceengine/volume_control.h"
