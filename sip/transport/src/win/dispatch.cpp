// Received-message dispatch. See sip/dispatch.h.
#include "sip/dispatch.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "sip/agent_services.h"
#include "sip/builder.h"
#include "sip/dispatch_rules.h"
#include "sip/parser.h"
#include "sip/send.h"
#include "sip/trace.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"
#include "sip/uri.h"

namespace {

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

SIPMessageSender volatile g_sender = nullptr;

SIPLossSimulation& LossTable() {
  static SIPLossSimulation table;
  return table;
}

constexpr char kIn[] = "Direction=\"IN\"";

// Builds the stack's own answer on the received request and sends it.
void Answer(const SIPTransactionHolder& request, int status) {
  SIPRecord* r = &request->record;
  if (SIPPrepareResponseBuffer(r, status, nullptr, nullptr, nullptr, 0) != kSIPBuilt) {
    ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - [ERROR] %d not built", LogId(request.Get()), status);
    return;
  }
  SIPMessageSender sender = g_sender;
  int sent = sender ? sender(request, 0) : SendSIPMessage(request, 0, nullptr);
  if (!sent)
    ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - [ERROR] %d not sent", LogId(request.Get()), status);
}

void DispatchRequest(const SIPTransactionHolder& message, int method, const char* body, const char* sourceHost,
                     int sourcePort) {
  SIPRecord* r = &message->record;
  SIPMarkViaSource(r, sourceHost, sourcePort);
  if (!SIPRequestIsForAccount(r, SIPGetRootRecord(r), sourceHost)) {
    ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - [REFUSED] %s for %s@%s from %s:%d", LogId(message.Get()),
                 r->msg.method, r->msg.requestURI.user, r->msg.requestURI.host, sourceHost, sourcePort);
    if (method != kSIPMethodAck) Answer(message, 404);  // an ACK is never answered
    return;
  }
  switch (method) {
    case kSIPMethodInvite:
    case kSIPMethodAck:
    case kSIPMethodCancel:
    case kSIPMethodBye:
    case kSIPMethodOptions:
    case kSIPMethodSubscribe:
    case kSIPMethodNotify:
    case kSIPMethodRefer:
      SIPGetAgentServices().processRequest(method, message, method == kSIPMethodNotify ? body : nullptr);
      return;
    default:  // REGISTER, INFO, PRACK, MESSAGE
      Answer(message, 405);
      return;
  }
}

void Redirect(const SIPTransactionHolder& m, const SIPTransactionHolder& r, int status) {
  char target[513] = "";
  SIPTextOut out(target, sizeof target);
  SIPFormatURI(&r->record.msg.contact.uri, &out, 0);
  if (SIPSetTransactionState(m, kSIPStateCompleted)) SIPGetAgentServices().followRedirect(m, r, status, target);
  SIPGetAgentServices().invokeDestroyTransactionEvent(m, 0x200);
}

void Challenge(const SIPTransactionHolder& m, const SIPTransactionHolder& r, int status) {
  if (SIPEnsureToSendCredentials(m, r) && SIPGetAgentServices().answerChallenge(m, r, status)) return;
  bool open = m->record.endReason == 0;
  SIPGetAgentServices().processResponse(static_cast<int>(SIPResponseHandler::kFinalError), m, r, open ? status : 504);
}

void DispatchResponse(const SIPTransactionHolder& message, const char* header, const char* body) {
  SIPRecord* r = &message->record;
  int status = r->msg.statusCode;
  if (status < 100 || status > 699) {
    ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - Undefined Request or Response", LogId(message.Get()));
    SIPWriteTraceRecord("SIP:Message", header, body, 2, "Undefined Request or Response", kIn, "", 0, 0, message);
    return;
  }
  SIPTransactionHolder m = SIPFindMatchingTransaction(false, true, message);
  if (m.Get() == message.Get() || !SIPTransactionHolderIsValid(m)) {
    ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - [%d] - Transaction doesn't exist...", LogId(message.Get()),
                 status);
    return;
  }
  SIPCopyMessageContext(&m->record, r);
  int method = SIPTransactionKindToMethod(&m->record);
  SIPResponseHandler handler = SIPChooseResponseHandler(method, status);
  switch (handler) {
    case SIPResponseHandler::kProceeding:
    case SIPResponseHandler::kInvite1xx:
      if (SIPGetTransactionState(m) != kSIPStateProceeding) SIPSetTransactionState(m, kSIPStateProceeding);
      if (handler == SIPResponseHandler::kInvite1xx)
        SIPGetAgentServices().processResponse(static_cast<int>(handler), m, message,
                                              SIPInviteProvisionalStatus(status));
      return;
    case SIPResponseHandler::kComplete:
      SIPSetTransactionState(m, kSIPStateCompleted);
      return;
    case SIPResponseHandler::kRedirect:
      Redirect(m, message, status);
      return;
    case SIPResponseHandler::kChallenge:
      Challenge(m, message, status);
      return;
    default:
      SIPGetAgentServices().processResponse(static_cast<int>(handler), m, message, status);
      return;
  }
}

}  // namespace

void SIPSetDispatchSender(SIPMessageSender sender) { g_sender = sender; }

int SIPEnsureToSendCredentials(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response) {
  if (!SIPTransactionHolderIsValid(transaction) || !SIPTransactionHolderIsValid(response)) return 0;
  if (transaction->record.authAttempts > 0 && _stricmp(response->record.msg.digest.stale, "TRUE") != 0) {
    ZEQLogPrintf("SIPEnsureToSendCredentials: SIP: %08X - [%d] - Credentials wont be sent...",
                 LogId(transaction.Get()), response->record.msg.statusCode);
    return 0;
  }
  return 1;
}

int SIPListenerProcessMessage(const char* header, const char* body, const char* sourceHost, int sourcePort,
                              const SIPTransactionHolder& listener, const SIPSocketHolder& arrivedOn) {
  header = header ? header : "";
  body = body ? body : "";
  try {
    SIPTransactionHolder message =
        SIPCreateParsed(header, strlen(header), body, strlen(body), SIPTransactionHolder(), nullptr, listener);
    if (!SIPTransactionHolderIsValid(message)) {
      ZEQLogPrintf("SIPListenerProcessMessage: SIP: %08X - Error Parsing ZEQSIP Message", LogId(listener.Get()));
      return 1;
    }
    SIPRecord* r = &message->record;
    std::string received = std::string(header) + "\r\n\r\n" + body;
    SIPCountedTextSet(&r->received, received.data(), received.size());
    if ((SIPGetRootAccount(r)->testOptions & 0x2) && LossTable().Drop(r->msg.callId)) {
      SIPWriteTraceRecord("SIP:Message", header, body, 2, "", kIn, sourceHost, sourcePort, 0, message);
      return 0;
    }
    SIPWriteTraceRecord("SIP:Message", header, body, 0, "", kIn, sourceHost, sourcePort, 0, message);
    int method = SIPIsRequestMode(r->messageMode) ? SIPGetRequestMethod(header, strlen(header)) : 0;
    if (method && arrivedOn.IsSet()) message->connectionSocket = arrivedOn;
    if (method && _stricmp(r->msg.version, "SIP/2.0") != 0)
      Answer(message, 505);
    else if (method)
      DispatchRequest(message, method, body, sourceHost, sourcePort);
    else
      DispatchResponse(message, header, body);
  } catch (...) {
    ZEQLogPrintf("!SIPListenerProcessMessage: Unexpected exception...");
  }
  return 1;
}
