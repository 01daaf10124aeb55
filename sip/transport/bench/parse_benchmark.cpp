// Parse and re-build of one INVITE with SDP (877 bytes) and one REGISTER,
// side by side with libsofia-sip-ua's and libosip2's parsers on the same
// bytes. Re-build: this stack builds the same request again from the parsed
// record; sofia-sip serialises its parsed message again; osip2 rebuilds its
// text from the parsed structure.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>
#include <sofia-sip/msg.h>
#include <sofia-sip/sip_header.h>
}

#include "sip/builder.h"
#include "sip/parser.h"

namespace {

const char kInvite[] =
    "INVITE sip:bob@biloxi.example.com SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 192.0.2.101:5060;branch=z9hG4bK74bf9;rport\r\n"
    "Max-Forwards: 70\r\n"
    "From: \"Alice\" <sip:alice@atlanta.example.com>;tag=9fxced76sl\r\n"
    "To: \"Bob\" <sip:bob@biloxi.example.com>\r\n"
    "Call-ID: 3848276298220188511@atlanta.example.com\r\n"
    "CSeq: 1 INVITE\r\n"
    "Contact: <sip:alice@192.0.2.101:5060;transport=udp>\r\n"
    "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY, MESSAGE, SUBSCRIBE, INFO\r\n"
    "Supported: replaces, timer\r\n"
    "User-Agent: Atlanta Softphone 4.2.17 (Windows NT 10.0; build 19045); en-US rev 2\r\n"
    "Content-Type: application/sdp\r\n"
    "Content-Length: 287\r\n"
    "\r\n"
    "v=0\r\n"
    "o=alice 2890844526 2890844526 IN IP4 192.0.2.101\r\n"
    "s=-\r\n"
    "c=IN IP4 192.0.2.101\r\n"
    "t=0 0\r\n"
    "m=audio 49172 RTP/AVP 0 8 18 101\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:8 PCMA/8000\r\n"
    "a=rtpmap:18 G729/8000\r\n"
    "a=fmtp:18 annexb=no\r\n"
    "a=rtpmap:101 telephone-event/8000\r\n"
    "a=fmtp:101 0-15\r\n"
    "a=ptime:20\r\n"
    "a=sendrecv\r\n";

const char kRegister[] =
    "REGISTER sip:atlanta.example.com SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 192.0.2.101:5060;branch=z9hG4bKnashds7;rport\r\n"
    "Max-Forwards: 70\r\n"
    "From: \"Alice\" <sip:alice@atlanta.example.com>;tag=a73kszlfl\r\n"
    "To: \"Alice\" <sip:alice@atlanta.example.com>\r\n"
    "Call-ID: 1j9FpLxk3uxtm8tn@192.0.2.101\r\n"
    "CSeq: 1 REGISTER\r\n"
    "Contact: <sip:alice@192.0.2.101:5060;transport=udp>;expires=3600\r\n"
    "Expires: 3600\r\n"
    "User-Agent: Atlanta Softphone 4.2.17\r\n"
    "Content-Length: 0\r\n"
    "\r\n";

struct Message {
  const char* text;
  size_t length;
  const char* method;
  int kind;
};
const Message kMessages[] = {{kInvite, sizeof kInvite - 1, "INVITE", 4}, {kRegister, sizeof kRegister - 1, "REGISTER", 2}};

// This stack: one record and one normaliser state reused, as the receiver
// reuses its buffers.
struct Stack {
  std::unique_ptr<SIPRecord> account{new SIPRecord}, record{new SIPRecord};
  SIPNormalizedMessage work;
  Stack() {
    SIPRecordInit(account.get());
    SIPRecordInit(record.get());
    strcpy(account->account.user, "alice");
    strcpy(account->account.domain, "atlanta.example.com");
    record->based = account.get();
    SIPNormalizedInit(&work);
  }
  ~Stack() {
    SIPNormalizedFree(&work);
    SIPRecordFree(record.get());
    SIPRecordFree(account.get());
  }
};

void ThisStackParse(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  Stack s;
  for (auto _ : state) {
    int result = SIPParseMessage(s.record.get(), m.text, m.length, nullptr, 0, nullptr, &s.work);
    if (result != kSIPParsed) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(s.record->msg.cseq);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

void ThisStackParseAndBuild(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  Stack s;
  const char* body = strstr(m.text, "\r\n\r\n") + 4;
  size_t bodyLength = m.length - static_cast<size_t>(body - m.text);
  for (auto _ : state) {
    if (SIPParseMessage(s.record.get(), m.text, m.length, nullptr, 0, nullptr, &s.work) != kSIPParsed)
      state.SkipWithError("not parsed");
    s.record->kind = m.kind;
    if (SIPPrepareRequestBuffer(s.record.get(), m.method, bodyLength ? "application/sdp" : nullptr, body,
                                bodyLength) != kSIPBuilt)
      state.SkipWithError("not built");
    benchmark::DoNotOptimize(s.record->prepared.text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

void SofiaParse(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  for (auto _ : state) {
    msg_t* msg = msg_make(sip_default_mclass(), 0, m.text, static_cast<ssize_t>(m.length));
    if (!msg) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(msg);
    msg_destroy(msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

void SofiaParseAndBuild(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  for (auto _ : state) {
    msg_t* msg = msg_make(sip_default_mclass(), 0, m.text, static_cast<ssize_t>(m.length));
    if (!msg || msg_serialize(msg, nullptr) < 0) state.SkipWithError("not parsed");
    size_t length = 0;
    char* text = msg_as_string(msg_home(msg), msg, nullptr, 0, &length);
    if (!text) state.SkipWithError("not built");
    benchmark::DoNotOptimize(text);
    msg_destroy(msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

void OsipParse(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  for (auto _ : state) {
    osip_message_t* msg = nullptr;
    osip_message_init(&msg);
    if (osip_message_parse(msg, m.text, m.length) != 0) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(msg);
    osip_message_free(msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

void OsipParseAndBuild(benchmark::State& state) {
  const Message& m = kMessages[state.range(0)];
  for (auto _ : state) {
    osip_message_t* msg = nullptr;
    osip_message_init(&msg);
    if (osip_message_parse(msg, m.text, m.length) != 0) state.SkipWithError("not parsed");
    osip_message_force_update(msg);
    char* text = nullptr;
    size_t length = 0;
    if (osip_message_to_str(msg, &text, &length) != 0) state.SkipWithError("not built");
    benchmark::DoNotOptimize(text);
    osip_free(text);
    osip_message_free(msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * m.length));
}

// Arguments: 0 the INVITE, 1 the REGISTER.
BENCHMARK(ThisStackParse)->Arg(0)->Arg(1);
BENCHMARK(SofiaParse)->Arg(0)->Arg(1);
BENCHMARK(OsipParse)->Arg(0)->Arg(1);
BENCHMARK(ThisStackParseAndBuild)->Arg(0)->Arg(1);
BENCHMARK(SofiaParseAndBuild)->Arg(0)->Arg(1);
BENCHMARK(OsipParseAndBuild)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  parser_init();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
