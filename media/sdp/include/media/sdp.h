// SDP of the one audio stream of a call: the parsed record, the offer,
// answer and current-codec texts this side writes, the codec list script
// sets, the codec chosen from the peer's SDP, DTMF negotiation and the test
// whether a new SDP changes the running session. Pure logic: no platform
// type, no allocation.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/lock.h"
#include "voiceengine/types.h"

// One parsed SDP; every text field is terminated and cut to its width.
struct SIPSessionDescription {
  int32_t audio;  // 1 when an "m=audio" line was parsed
  char nettype[65];
  char addrtype[65];
  char address[130];  // the c= address without TTL or count
  int32_t port;
  char proto[65];
  char formats[131];  // payload types of the m=audio line
  int32_t ptime;      // -1 when absent
  int32_t maxptime;   // -1 when absent
  int32_t sessionId;
  int32_t sessionVersion;
  int32_t direction;  // 0 sendrecv, 1 sendonly, 2 recvonly, -1 inactive
  char text[4100];    // the whole SDP
};

constexpr int32_t kSDPSendRecv = 0;
constexpr int32_t kSDPSendOnly = 1;
constexpr int32_t kSDPRecvOnly = 2;
constexpr int32_t kSDPInactive = -1;

constexpr int32_t kSDPDTMFInBand = 1;
constexpr int32_t kSDPDTMFTelephoneEvent = 2;
constexpr int32_t kSDPDTMFInfo = 3;

// The codecs a call offers, in offer order. Writers hold lock.
constexpr int kSDPMaxCodecs = 32;
struct SDPCodecList {
  ZEQLock lock;
  int count = 0;
  webrtc::CodecInst entries[kSDPMaxCodecs] = {};
};

// What the SDP of one call reads and writes: the SIP record's media fields,
// which the user agent keeps here for each call.
struct SDPCallMedia {
  uint32_t sessionId;
  uint32_t sessionVersion;
  char userAgent[132];
  char localMediaIP[36];
  char connectionIP[36];  // SDPConnectionAddress of the account
  int32_t rtpPort;
  SDPCodecList codecs;
  int32_t localHold;
  int32_t remoteHold;
  webrtc::CodecInst callCodec;  // the call voice object's codec slot
  int32_t callCodecSet;
  int32_t callDTMFPayload;
  int32_t callDTMFType;
  int32_t accountDTMFPayload;  // 101
  int32_t accountDTMFType;     // 0 automatic
  SIPSessionDescription offerSDP;
  SIPSessionDescription answerSDP;
  SIPSessionDescription activeSDP;
  void (*log)(const char* line);  // optional
};

// The callers hand buffers of this size.
constexpr size_t kSDPTextSize = 4096;

// Parses text into target: 1, or 0 when text is NULL or has no audio
// section (target untouched). Reads only up to the terminator of text.
int SIPParseSDP(SIPSessionDescription* target, const char* text);

// The builders write a terminated text into out (size bytes, TABs removed)
// and answer 1; 0 with an empty out when the text would not fit.
int SIPPrepareSDPOffer(char* out, size_t size, SDPCallMedia* call);
// 0 also when the call has no codec yet.
int SIPPrepareSDPAnswer(char* out, size_t size, SDPCallMedia* call);
int SIPPrepareCurrentCodecSDP(char* out, size_t size, int mode, int32_t localHold, int32_t remoteHold,
                              SDPCallMedia* call);
// Bit 0 of flags forces an offer; otherwise an answer when offerSDP holds
// the peer's offer, else an offer.
int SIPPrepareSDP(char* out, size_t size, uint32_t flags, SDPCallMedia* call);
// One direction line with its CR LF; 1, or 0 when it does not fit.
int SIPSDPDirectionLine(char* out, size_t size, int32_t localHold, int32_t remoteHold, int mode);

// Chooses the call codec from sdp: 1 chosen (or, with flags bit 0, an SDP
// without text accepted), 0 none in common.
int SIPSelectCodecFromSDP(const SIPSessionDescription* sdp, int forcedPayloadType, uint32_t flags,
                          SDPCallMedia* call);
int SIPNegotiateDTMF(const SIPSessionDescription* sdp, SDPCallMedia* call);
// The first list entry named name (any case) with an 8000 Hz clock: true
// with a copy in found.
bool SIPFindCodecByName(SDPCodecList* list, const char* name, webrtc::CodecInst* found);
// selector 1: answerSDP, 2: offerSDP. 1 when it changes the running
// session (activeSDP): another address or port; an address 0.0.0.0 (hold)
// never does.
int SIPSessionHasChanged(int selector, SDPCallMedia* call);
bool SIPGetSessionDescription(int selector, SIPSessionDescription* out, const SDPCallMedia* call);

// Reads a codec spec "name,payload type,clock rate" and appends the first
// entry of database (the engine's codecs) with that name and clock rate,
// adjusted as the system offers it. False when nothing was added.
bool SDPAddCodecFromSpec(SDPCodecList* list, const char* spec, const webrtc::CodecInst* database, int count);
void SDPClearCodecs(SDPCodecList* list);

// The c= address of this side: the account's mapped address once the NAT
// test has produced one, else the local media address.
const char* SDPConnectionAddress(uint32_t natType, const char* mappedAddress, const char* localMediaIP);
