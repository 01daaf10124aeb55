// Every allocation of the parser, the builders and the digest failing in
// turn: each call either succeeds or lets the heap's out-of-memory exception
// through, and nothing it allocated is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "foundation/heap.h"
#include "foundation/heap_faults.h"
#include "sip/builder.h"
#include "sip/digest.h"
#include "sip/parser.h"
#include "sip/stream_framing.h"
#include "sip_test_support.h"

namespace {

// Runs step (which makes and frees its own records) with the 1st, 2nd ...
// allocation failing until a run reaches no armed failure; returns the
// number of allocations swept.
int Sweep(const std::function<void()>& step) {
  int n = 1;
  for (; n < 1000; ++n) {
    long long before = HeapThreadBlockBalance();
    HeapFailNthAllocation(static_cast<size_t>(n));
    bool failed = false;
    try {
      step();
    } catch (const ZEQOutOfMemory&) {
      failed = true;
    }
    bool reached = !HeapFailurePending();
    HeapFailNthAllocation(0);
    EXPECT_EQ(HeapThreadBlockBalance(), before) << "allocation " << n;
    EXPECT_EQ(failed, reached) << "allocation " << n;
    if (!reached) break;
  }
  return n - 1;
}

struct SIPAllocationFailure : ::testing::Test {
  void TearDown() override { HeapFailNthAllocation(0); }
};

TEST_F(SIPAllocationFailure, ParsingLeavesNothingBehind) {
  std::string text = ReadSIPTestFile("torture/wsinv.sip");
  ASSERT_FALSE(text.empty());
  int swept = Sweep([&] {
    TestRecord r;
    SIPParseMessage(r.get(), text.data(), text.size(), nullptr, 0);
  });
  EXPECT_GT(swept, 2);
}

TEST_F(SIPAllocationFailure, BuildingLeavesNothingBehind) {
  const char sdp[] = "v=0\r\no=- 1 1 IN IP4 %contact_ip%\r\n";
  int swept = Sweep([&] {
    TestRecord account, r;
    SetTestAccount(account.get());
    r->based = account.get();
    r->kind = 4;
    strcpy(r->msg.callId, "c");
    SIPParseNameAddrText(&r->msg.to.uri, "sip:bob@example.com");
    SIPHeaderListAdd(&r->requestHeaders, "X-Custom", "1");
    strcpy(r->msg.digest.realm, "r");
    strcpy(r->msg.digest.qop, "auth");
    strcpy(r->msg.digest.headerName, "Proxy-Authorization");
    SIPPrepareRequestBuffer(r.get(), "INVITE", "application/sdp", sdp, strlen(sdp));
    SIPPrepareResponseBuffer(r.get(), 500, nullptr, nullptr, nullptr, 0);
    SIPInsertMessageHeader(r.get(), "Retry-After: ", "%d", 2);
  });
  EXPECT_GT(swept, 4);
}

TEST_F(SIPAllocationFailure, StreamFramingKeepsWhatArrivedBeforeAFailure) {
  const std::string message = "OPTIONS sip:a@b SIP/2.0\r\nl: 3000\r\n\r\n" + std::string(3000, 'b');
  int swept = Sweep([&] {
    SIPStreamFramer framer;
    for (size_t at = 0; at < message.size(); at += 700) {
      size_t kept = framer.Pending();
      try {
        framer.Append(message.data() + at, std::min<size_t>(700, message.size() - at));
      } catch (const ZEQOutOfMemory&) {
        EXPECT_EQ(framer.Pending(), kept);
        throw;
      }
    }
    EXPECT_EQ(framer.Next().event, SIPStreamEvent::kMessage);
  });
  EXPECT_GT(swept, 1);
}

}  // namespace
