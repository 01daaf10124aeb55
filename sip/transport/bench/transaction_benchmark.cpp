// Transactions through the transaction layer with an in-memory transport:
// a client OPTIONS transaction sends its request (the text handed over in
// memory), the server side parses it, looks it up among the live server
// transactions, answers and completes; the client parses the 200, finds
// its transaction among the live client transactions, completes and its
// K timer ends it. Timers are recorded, not waited for.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sip/parser.h"
#include "sip/transaction_machine.h"
#include "sip/transaction_matching.h"

namespace {

// Timers are only noted; everything else is a no-op.
class MemoryDriver : public SIPTransactionDriver {
 public:
  bool armed[kSIPTimerSlots] = {};
  uint32_t RecordId(const SIPRecord*) override { return 0; }
  void Log(const char*) override {}
  bool IsPushed(const SIPRecord*) override { return true; }
  bool IsArmed(const SIPRecord*, int slot) override { return armed[slot]; }
  bool ArmTimer(SIPRecord*, int slot, uint32_t, SIPTimerKind) override { return armed[slot] = true; }
  void ResetTimer(SIPRecord*, int, uint32_t) override {}
  void KillTimer(SIPRecord*, int slot) override { armed[slot] = false; }
  uint32_t TimerId(const SIPRecord*, int) override { return 0; }
  void Terminate(SIPRecord*) override {
    for (bool& a : armed) a = false;
  }
  void Alert(SIPRecord*) override {}
  void Resend(SIPRecord*) override {}
  bool AskTerminateExpiredCalling(SIPRecord*) override { return true; }
  void ReportTransactionError(SIPRecord*, int) override {}
  void RaiseEndEvent(SIPRecord*) override {}
  void Lock() override {}
  void Unlock() override {}
};

std::string Options(int n) {
  char text[600];
  snprintf(text, sizeof text,
           "OPTIONS sip:bob@192.0.2.9 SIP/2.0\r\nVia: SIP/2.0/UDP 10.0.0.2:5070;branch=z9hG4bK-bench-%d\r\n"
           "Max-Forwards: 70\r\nFrom: <sip:alice@example.com>;tag=a%d\r\nTo: <sip:bob@example.com>\r\n"
           "Call-ID: bench-%d@10.0.0.2\r\nCSeq: %d OPTIONS\r\nContent-Length: 0\r\n\r\n",
           n, n, n, n);
  return text;
}

std::string Ok(int n) {
  char text[600];
  snprintf(text, sizeof text,
           "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 10.0.0.2:5070;branch=z9hG4bK-bench-%d\r\n"
           "From: <sip:alice@example.com>;tag=a%d\r\nTo: <sip:bob@example.com>;tag=s%d\r\n"
           "Call-ID: bench-%d@10.0.0.2\r\nCSeq: %d OPTIONS\r\nContent-Length: 0\r\n\r\n",
           n, n, n, n, n);
  return text;
}

struct Record {
  SIPRecord r;
  Record() { SIPRecordInit(&r); }
  ~Record() { SIPRecordFree(&r); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
};

void ParseInto(Record* record, const std::string& text, int32_t mode) {
  SIPParseMessage(&record->r, text.data(), text.size(), nullptr, 0);
  record->r.messageMode = mode;
}

// The live transactions a message is matched against: the one sought is
// the last of `live`.
void TransactionRoundTrip(benchmark::State& state) {
  const int live = static_cast<int>(state.range(0));
  std::vector<std::string> requests, responses;
  for (int i = 0; i < live; i++) {
    requests.push_back(Options(i));
    responses.push_back(Ok(i));
  }
  // Companions: the requests as sent (client side) and as received (server side).
  std::vector<Record> clients(static_cast<size_t>(live)), servers(static_cast<size_t>(live) - 1);
  for (size_t i = 0; i < clients.size(); i++) ParseInto(&clients[i], requests[i], kSIPModeRequest);
  for (size_t i = 0; i < servers.size(); i++) ParseInto(&servers[i], requests[i], kSIPModeRequest);
  Record client, server, received, response;
  const std::string& request = requests.back();
  const std::string& ok = responses.back();
  {
    // The sought transactions are found, and only they.
    Record probe;
    ParseInto(&probe, ok, kSIPModeResponse);
    bool wrong = !SIPMessageMatchesTransaction(&probe.r, &client.r, &clients.back().r, false, true);
    for (size_t i = 0; i + 1 < clients.size(); i++)
      wrong |= SIPMessageMatchesTransaction(&probe.r, &client.r, &clients[i].r, false, true);
    ParseInto(&probe, request, kSIPModeRequest);
    for (Record& s : servers) wrong |= SIPMessageMatchesTransaction(&probe.r, &s.r, &s.r, false, true);
    if (wrong) {
      state.SkipWithError("the look-up finds the wrong transactions");
      return;
    }
  }
  for (auto _ : state) {
    MemoryDriver clientTimers, serverTimers;
    client.r.kind = 14;
    client.r.state = kSIPStateReady;
    SIPMachineSetState(&clientTimers, &client.r, kSIPStateTrying);
    // The server receives the request: new (matches none of the live ones).
    ParseInto(&received, request, kSIPModeRequest);
    bool found = false;
    for (Record& s : servers) found |= SIPMessageMatchesTransaction(&received.r, &s.r, &s.r, false, true);
    server.r.kind = 13;
    server.r.state = kSIPStateReady;
    SIPMachineSetState(&serverTimers, &server.r, kSIPStateTrying);
    SIPMachineSetState(&serverTimers, &server.r, kSIPStateCompleted);
    // The client receives the 200 and finds its transaction.
    ParseInto(&response, ok, kSIPModeResponse);
    const Record* match = nullptr;
    for (const Record& c : clients)
      if (SIPMessageMatchesTransaction(&response.r, &client.r, &c.r, false, true)) {
        match = &c;
        break;
      }
    SIPMachineSetState(&clientTimers, &client.r, kSIPStateCompleted);
    SIPMachineTerminateFired(&clientTimers, &client.r, kSIPTimerK);
    SIPMachineTerminateFired(&serverTimers, &server.r, kSIPTimerJ);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(match);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(TransactionRoundTrip)->Arg(1)->Arg(16)->Arg(256);

}  // namespace
