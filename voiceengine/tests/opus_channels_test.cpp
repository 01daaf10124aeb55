// An Opus send codec of two channels sends a stereo stream (RFC 6716's TOC
// stereo flag in every packet), one of one channel a mono stream.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "signal_analysis.h"
#include "udp_peer.h"
#include "voice_call.h"

namespace {

struct ChannelsCase {
  const char* name;
  int channels;
  bool stereo;
  int port;
};

// Both channels of one engine send at once, each to a peer of its own.
TEST(OpusChannels, EveryPacketCarriesTheChannelsOfTheSendCodec) {
  const ChannelsCase cases[] = {{"stereo", 2, true, 20660}, {"mono", 1, false, 20670}};
  voicetest::TestEngine e;
  webrtc::CodecInst opus = voicetest::FindCodec(e, "opus");
  ASSERT_GE(opus.pltype, 0);
  std::unique_ptr<voicetest::UdpPeer> peers[2];
  int channels[2];
  for (int i = 0; i < 2; ++i) {
    const ChannelsCase& c = cases[i];
    opus.channels = c.channels;
    peers[i].reset(new voicetest::UdpPeer(c.port + 2));
    channels[i] = e.base->CreateChannel();
    ASSERT_EQ(0, e.base->SetLocalReceiver(channels[i], c.port));
    ASSERT_EQ(0, e.codec->SetSendCodec(channels[i], opus));
    ASSERT_EQ(0, e.base->SetSendDestination(channels[i], c.port + 2, "127.0.0.1"));
    ASSERT_EQ(0, e.base->StartSend(channels[i]));
  }
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(cases[i].name);
    int packets = 0, stereo = 0;
    for (int n = 0; n < 15; ++n) {
      const std::vector<uint8_t> packet = peers[i]->Receive(500);
      if (packet.size() < 13 || (packet[1] & 0x7F) != opus.pltype) continue;
      ++packets;
      if (packet[12] & 0x04) ++stereo;  // the TOC byte's stereo flag
    }
    EXPECT_GE(packets, 10);
    EXPECT_EQ(cases[i].stereo ? packets : 0, stereo);
  }
  for (int ch : channels) e.base->StopSend(ch);
}

}  // namespace
