// OPTIONS transactions per second through the whole transport over real
// UDP on loopback, against a sipp server answering 200 on 127.0.0.1:16600
// (bench/run-options-benchmark.sh starts it, runs this under Wine and stops
// it). One iteration: a client transaction built and sent, sipp's 200
// received by the window procedure, parsed, matched and completed.
#include <benchmark/benchmark.h>

#include <winsock2.h>

#include <cstdio>

#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/timer_thread.h"
#include "net/socket_helpers.h"
#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/connections.h"
#include "sip/send.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip/uri.h"

namespace {

volatile LONG g_answered = 0;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_ZEQTIMER) return ZEQReceiveTimerMessage(lParam);
  if (message == CMSG_WSA_SIPTCP_EVENTMESSAGE) {
    SIPHandleSocketEvent(wParam, lParam);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void OptionsOverUdp(benchmark::State& state) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SIPOptionsBenchmark";
  RegisterClassA(&wc);
  HWND window = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ZEQSetMainWindow(window);
  SetSocketNotificationWindow(window);
  StartTimerThread();
  SIPAgentServices services = {};
  services.processResponse = [](int, const SIPTransactionHolder&, const SIPTransactionHolder&, int status) {
    if (status == 200) InterlockedIncrement(&g_answered);
  };
  SIPInstallAgentServices(&services);
  SIPSetConnectionOwnerLookup(SIPFindConnectionOwnerByUser);

  SIPTransactionHolder root = SIPTransactionCreate(SIPTransactionHolder());
  SIPRecord* r = &root->record;
  snprintf(r->account.user, sizeof r->account.user, "alice");
  snprintf(r->account.domain, sizeof r->account.domain, "127.0.0.1");
  snprintf(r->msg.from.uri.user, sizeof r->msg.from.uri.user, "alice");
  snprintf(r->msg.from.uri.host, sizeof r->msg.from.uri.host, "127.0.0.1");
  r->account.outboundMode = 2;
  r->connection.transport = kSIPTransportUDP;
  snprintf(r->connection.serverHost, sizeof r->connection.serverHost, "127.0.0.1");
  r->connection.serverAddress = htonl(INADDR_LOOPBACK);
  r->connection.serverPort = 16600;

  long failures = 0;
  for (auto _ : state) {
    LONG before = g_answered;
    SIPTransactionHolder t = SIPCreateBasedTransaction(root, SIPTransactionHolder(), SIPTransactionHolder());
    SIPPushTransaction(t, 14, SIPTransactionHolder(), SIPTransactionHolder());
    SIPParseNameAddrText(&t->record.msg.to.uri, "<sip:bob@127.0.0.1>");
    t->record.msg.cseq = 1;
    SIPPrepareRequestBuffer(&t->record, "OPTIONS", nullptr, nullptr, 0);
    SIPSetTransactionState(t, kSIPStateTrying);
    SendSIPMessage(t, 0, nullptr);
    DWORD start = GetTickCount();
    while (g_answered == before && GetTickCount() - start < 2000) {
      MSG message;
      if (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    }
    if (g_answered == before) ++failures;
    SIPDestroyTransaction(t);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["unanswered"] = static_cast<double>(failures);
  if (failures == static_cast<long>(state.iterations())) state.SkipWithError("no sipp server on 127.0.0.1:16600");
  SIPCloseRootRelatedConnections(root);
  SIPSetConnectionOwnerLookup(nullptr);
  SIPInstallAgentServices(nullptr);
  StopTimerThread(10000);
  DestroyWindow(window);
  WSACleanup();
}
BENCHMARK(OptionsOverUdp)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

}  // namespace
