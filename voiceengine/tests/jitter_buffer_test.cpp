// The jitter buffer: order restored, losses concealed, duplicates and late
// packets dropped, a new stream restarts it, and playout waits for depth.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jitter_buffer.h"

namespace {

// Packets of 20 ms at 8 kHz (payload byte = sequence low byte) arrive in the
// given order, one every 20 ms, and playout takes 20 ms after each arrival;
// then the rest plays out. The result: 'P<n>' for each packet played, 'C'
// for each concealment.
std::string PlayOut(const std::vector<int>& order, voe::JitterBuffer& jb) {
  jb.Reset(8000);
  std::string played;
  auto pull = [&]() {
    const uint8_t* payload = nullptr;
    size_t size = 0;
    const voe::JitterBuffer::Decision d = jb.Next(&payload, &size);
    if (d == voe::JitterBuffer::kPlay) {
      played += "P" + std::to_string(payload[0]) + " ";
      jb.Advance(static_cast<uint32_t>(size));
    } else if (d == voe::JitterBuffer::kConceal) {
      played += "C ";
      jb.Advance(jb.LastFrameUnits());
    }
    return d != voe::JitterBuffer::kWait;
  };
  uint32_t arrival = 1000;
  for (int seq : order) {
    const uint8_t payload[160] = {static_cast<uint8_t>(seq)};
    // Timestamps follow the sequence numbers, across their wrap.
    const int32_t offset = static_cast<int16_t>(static_cast<uint16_t>(seq - order[0]));
    jb.Insert(static_cast<uint16_t>(seq), static_cast<uint32_t>(1000000 + offset * 160), payload, sizeof payload,
              arrival);
    arrival += 20;
    pull();
  }
  for (int guard = 0; guard < 100 && pull(); ++guard) {
  }
  return played;
}

struct Case {
  const char* name;
  std::vector<int> order;
  std::string played;
};

class JitterBufferPlays : public ::testing::TestWithParam<Case> {};

TEST_P(JitterBufferPlays, InSequenceOrder) {
  voe::JitterBuffer jb;
  EXPECT_EQ(GetParam().played, PlayOut(GetParam().order, jb));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JitterBufferPlays,
    ::testing::Values(Case{"InOrder", {10, 11, 12, 13}, "P10 P11 P12 P13 "},
                      Case{"Reordered", {10, 12, 11, 14, 13}, "P10 P11 P12 P13 P14 "},
                      Case{"LossConcealed", {10, 11, 13, 14}, "P10 P11 C P13 P14 "},
                      Case{"DuplicateOnce", {10, 11, 11, 12}, "P10 P11 P12 "},
                      Case{"AcrossTheWrap", {65534, 65535, 0, 1}, "P254 P255 P0 P1 "},
                      Case{"EarlierPacketBeforeStartLeads", {11, 10, 12}, "P10 P11 P12 "}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(JitterBuffer, PlayoutWaitsUntilTheTargetDepthIsBuffered) {
  voe::JitterBuffer jb;
  jb.Reset(8000);
  const uint8_t payload[160] = {};
  const uint8_t* p = nullptr;
  size_t size = 0;
  jb.Insert(1, 160, payload, sizeof payload, 0);
  EXPECT_EQ(voe::JitterBuffer::kWait, jb.Next(&p, &size));  // 20 ms buffered, 40 wanted
  jb.Insert(2, 320, payload, sizeof payload, 20);
  EXPECT_EQ(voe::JitterBuffer::kPlay, jb.Next(&p, &size));
}

TEST(JitterBuffer, APacketThatComesAfterItsTurnIsDropped) {
  voe::JitterBuffer jb;
  jb.Reset(8000);
  const uint8_t payload[160] = {};
  const uint8_t* p = nullptr;
  size_t size = 0;
  jb.Insert(1, 160, payload, sizeof payload, 0);
  jb.Insert(3, 480, payload, sizeof payload, 40);
  ASSERT_EQ(voe::JitterBuffer::kPlay, jb.Next(&p, &size));
  jb.Advance(160);
  ASSERT_EQ(voe::JitterBuffer::kConceal, jb.Next(&p, &size));
  jb.Advance(160);
  EXPECT_EQ(voe::JitterBuffer::kLate, jb.Insert(2, 320, payload, sizeof payload, 60));
  EXPECT_EQ(1u, jb.counters().late);
}

TEST(JitterBuffer, ASequenceJumpStartsANewStream) {
  voe::JitterBuffer jb;
  jb.Reset(8000);
  const uint8_t payload[160] = {};
  jb.Insert(100, 160, payload, sizeof payload, 0);
  jb.Insert(101, 320, payload, sizeof payload, 20);
  EXPECT_EQ(voe::JitterBuffer::kRestarted, jb.Insert(30000, 999999, payload, sizeof payload, 40));
  EXPECT_EQ(1, jb.count());
  EXPECT_EQ(voe::JitterBuffer::kTooLarge, jb.Insert(30001, 1, payload, voe::JitterBuffer::kMaxPayload + 1, 60));
}

TEST(JitterBuffer, JitterRaisesTheTargetWithinItsBounds) {
  voe::JitterBuffer steady, jittery;
  steady.Reset(8000);
  jittery.Reset(8000);
  const uint8_t payload[160] = {};
  for (int i = 0; i < 200; ++i) {
    steady.Insert(static_cast<uint16_t>(i), static_cast<uint32_t>(i) * 160, payload, 160, static_cast<uint32_t>(i) * 20);
    const uint32_t late = (i % 2) ? 60 : 0;
    jittery.Insert(static_cast<uint16_t>(i), static_cast<uint32_t>(i) * 160, payload, 160,
                   static_cast<uint32_t>(i) * 20 + late);
    const uint8_t* p;
    size_t size;
    if (steady.Next(&p, &size) != voe::JitterBuffer::kWait) steady.Advance(160);
    if (jittery.Next(&p, &size) != voe::JitterBuffer::kWait) jittery.Advance(160);
  }
  EXPECT_EQ(320u, steady.TargetUnits());  // 40 ms
  EXPECT_GT(jittery.TargetUnits(), 1000u);
  EXPECT_LE(jittery.TargetUnits(), 160u * voe::JitterBuffer::kSlots / 2);
}

}  // namespace
