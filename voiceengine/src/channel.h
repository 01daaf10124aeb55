// One voice channel: its RTP and RTCP sockets and receive thread, its send
// codec and packetiser, its receive codecs, jitter buffer and decoder, its
// DTMF, processors, hold, mute and gain. Methods return 0 or an engine error
// number; the interfaces turn that into -1 and the engine's last error.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "codecs.h"
#include "jitter_buffer.h"
#include "levels.h"
#include "locks.h"
#include "rtp_packet.h"
#include "telephone_event.h"
#include "udp_socket.h"
#include "voiceengine/external_media.h"
#include "voiceengine/resampler.h"
#include "voiceengine/types.h"

namespace voe {

class Engine;

class Channel {
 public:
  Channel(Engine* engine, int id);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  int id() const { return id_; }

  // Network.
  int SetLocalReceiver(int port, int rtcpPort, const char* address);
  int GetLocalReceiver(int& port, int& rtcpPort, char address[64]);
  int SetSendDestination(int port, const char* address, int sourcePort, int rtcpPort);
  int GetSendDestination(int& port, char address[64], int& sourcePort, int& rtcpPort);
  int StartReceive();
  int StopReceive();
  int StartSend();
  int StopSend();
  int StartPlayout();
  int StopPlayout();
  // Everything stopped, sockets closed: before the channel goes.
  void Shutdown();

  // Codecs.
  int SetSendCodec(const webrtc::CodecInst& codec);
  int GetSendCodec(webrtc::CodecInst& codec);
  int GetRecCodec(webrtc::CodecInst& codec);
  int SetRecPayloadType(const webrtc::CodecInst& codec);
  int GetRecPayloadType(webrtc::CodecInst& codec);

  // DTMF.
  int SendTelephoneEvent(int event, bool outOfBand, int lengthMs, int attenuationDb);
  int SetSendTelephoneEventPayloadType(int type);
  int GetSendTelephoneEventPayloadType(unsigned char& type);
  int SetDtmfPlayout(bool enable);
  bool dtmfPlayout();

  // Processing, volume, hold.
  int RegisterProcess(webrtc::ProcessingTypes type, webrtc::VoEMediaProcess* process);
  int DeregisterProcess(webrtc::ProcessingTypes type);
  int SetInputMute(bool mute);
  bool inputMute();
  int SetOutputScaling(float scaling);
  float outputScaling();
  void OutputLevels(unsigned* level, unsigned* fullRange);
  int SetOnHold(bool enable, webrtc::OnHoldModes mode);
  void GetOnHold(bool& enabled, webrtc::OnHoldModes& mode);
  int SetNetEqMode(webrtc::NetEqModes mode);
  webrtc::NetEqModes netEqMode();
  int SetBgnMode(webrtc::NetEqBgnModes mode);
  webrtc::NetEqBgnModes bgnMode();

  // RTP and RTCP facts.
  unsigned localSsrc() const { return ssrc_; }
  int GetRemoteSsrc(unsigned& ssrc);
  void GetStatistics(webrtc::CallStatistics& stats);

  // Audio threads: one device block (kDeviceBlock samples at kDeviceRate).
  void Captured(const int16_t* block);
  // Mixes this channel's playout into the block; false when it is not playing.
  bool Playout(int32_t* mix);

 private:
  static constexpr int kMaxReceiveCodecs = 8;
  static constexpr int kMaxQueuedEvents = 16;
  struct ReceiveCodec {
    int pltype;      // -1: free
    int index;       // database entry
    webrtc::CodecInst codec;
  };
  struct QueuedEvent {
    int event, lengthMs, attenuationDb;
    bool outOfBand;
  };

  static DWORD WINAPI ReceiveMain(void* self);
  void ReceiveLoop();
  void OnRtp(const uint8_t* data, size_t size, const sockaddr_in& from);
  void OnRtcp(const uint8_t* data, size_t size);
  void OnTelephoneEvent(const RtpHeader& header, const uint8_t* payload, size_t size);
  void MaybeSendRtcp(uint32_t nowMs);
  // A report, with a BYE for this source when `bye` (under lock_).
  void SendRtcp(uint32_t nowMs, bool bye);
  void SendRtcpBye();
  void SendPacket(uint8_t payloadType, bool marker, uint32_t timestamp, const uint8_t* payload, size_t size);
  void SendFrame();
  bool SendEventPacket();
  void DecodeInto(size_t needed);
  int FindReceiveCodec(int pltype) const;
  int PlayoutRate() const;
  int EnsureSendSockets();

  Engine* engine_;
  const int id_;
  Lock lock_;

  // Sockets and addresses.
  UdpSocket rtp_, rtcp_;
  bool localSet_ = false;
  char localAddress_[64] = {};
  bool destinationSet_ = false;
  sockaddr_in rtpTo_ = {}, rtcpTo_ = {};
  int sourcePort_ = -1;
  HANDLE receiveThread_ = nullptr;
  std::atomic<bool> stopReceive_{false};

  bool receiving_ = false, sending_ = false, playing_ = false;
  bool holdEnabled_ = false;
  webrtc::OnHoldModes holdMode_ = webrtc::kHoldSendAndPlay;
  webrtc::NetEqModes netEqMode_ = webrtc::kNetEqDefault;
  webrtc::NetEqBgnModes bgnMode_ = webrtc::kBgnOn;

  // Sending.
  webrtc::CodecInst sendCodec_;
  int sendIndex_ = 0;
  std::unique_ptr<Encoder> encoder_;
  webrtc::Resampler captureResampler_;   // device rate to processing rate
  webrtc::Resampler encoderResampler_;   // processing rate to the encoder's
  int16_t frame_[5760] = {};
  size_t frameFill_ = 0;
  uint32_t ssrc_;
  uint16_t sequence_;
  uint32_t timestamp_;
  bool firstPacket_ = true;
  uint32_t packetsSent_ = 0, bytesSent_ = 0;
  uint32_t lastSendTimestamp_ = 0;
  int sendEventType_ = 106;
  QueuedEvent events_[kMaxQueuedEvents];
  int eventCount_ = 0;
  bool eventActive_ = false;
  QueuedEvent currentEvent_ = {};
  uint32_t eventTimestamp_ = 0;
  uint32_t eventElapsed_ = 0;   // telephone-event clock units
  int endRepeats_ = 0;
  DtmfTone inbandTone_;
  bool inputMute_ = false;
  webrtc::VoEMediaProcess* recordProcess_ = nullptr;
  webrtc::VoEMediaProcess* playbackProcess_ = nullptr;

  // Receiving.
  ReceiveCodec receiveCodecs_[kMaxReceiveCodecs];
  int receiveEventTypes_[2] = {-1, -1};  // registered telephone-event, send type
  int currentReceive_ = -1;               // index into receiveCodecs_
  std::unique_ptr<Decoder> decoder_;
  JitterBuffer jitter_;
  ReceiveStatistics stats_;
  bool haveRemoteSsrc_ = false;
  uint32_t remoteSsrc_ = 0;
  uint32_t packetsReceived_ = 0, bytesReceived_ = 0;
  int16_t decoded_[5760 + 960] = {};
  size_t decodedFill_ = 0;
  bool everDecoded_ = false;
  webrtc::Resampler decodeResampler_;   // decoder rate to processing rate
  webrtc::Resampler playoutResampler_;  // processing rate to device rate
  bool dtmfPlayout_ = true;
  DtmfTone receivedTone_;
  bool haveReceivedEvent_ = false;
  uint32_t receivedEventTimestamp_ = 0;
  bool receivedEventEnded_ = false;
  float outputScaling_ = 1.0f;
  LevelMeter outputLevel_;

  // RTCP.
  uint32_t nextRtcpMs_ = 0;
  uint32_t lastSrMiddle_ = 0;
  uint32_t lastSrArrivalMs_ = 0;
  bool haveRemoteBlock_ = false;
  RtcpReportBlock remoteBlock_;
  int rttMs_ = -1;
  uint8_t lastFractionLost_ = 0;
};

}  // namespace voe
