// Challenge answers and the ACK. See sip/challenges.h.
#include "sip/challenges.h"

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "sip/builder.h"
#include "sip/challenge_rules.h"
#include "sip/dialog_rules.h"
#include "sip/identifiers.h"
#include "sip/send.h"
#include "sip/transaction_list.h"
#include "sip/transaction_states.h"

namespace {

constexpr int32_t kKindInvite = 4;
constexpr int32_t kKindAck = 22;
constexpr int kResendKinds = static_cast<int>(sipagent::ChallengeResend::kNotify) + 1;

unsigned LogId(const void* pointer) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)); }

sipagent::ChallengeLedger& Ledger() {
  static sipagent::ChallengeLedger ledger;
  return ledger;
}

// The request built again as it went out: same method, target and body,
// the next CSeq; the builder adds the credentials of the digest block.
int ResendAsBefore(const SIPTransactionHolder& transaction) {
  SIPRecord* r = &transaction->record;
  char method[sizeof r->msg.method];
  sipagent::CopyField(method, sizeof method, r->msg.method[0] ? r->msg.method : SIPKindMethodText(r->kind));
  if (!method[0]) return 0;
  r->msg.cseq += 1;
  if (SIPPrepareRequestBuffer(r, method, r->msg.contentType[0] ? r->msg.contentType : nullptr, r->msg.body.text,
                              r->msg.body.length) != kSIPBuilt)
    return 0;
  if (SIPTransactionHolderIsValid(transaction->companion)) {
    SIPRecord* c = &transaction->companion->record;
    memcpy(c->msg.via[0].branch, r->msg.via[0].branch, sizeof c->msg.via[0].branch);
    c->msg.cseq = r->msg.cseq;
  }
  return SendSIPMessage(transaction, 0, nullptr);
}

SIPChallengeResender volatile g_resenders[kResendKinds] = {};

// The account's credentials go into the record's digest block, beside the
// challenge they answer.
void FillCredentials(SIPRecord* r, const char* header) {
  SIPAccountSettings* account = SIPGetRootAccount(r);
  SIPDigestChallenge& d = r->msg.digest;
  sipagent::CopyField(d.headerName, sizeof d.headerName, header);
  sipagent::CopyField(d.username, sizeof d.username,
                      account->authenticationUser[0] ? account->authenticationUser : account->user);
  sipagent::CopyField(d.password, sizeof d.password, account->password ? account->password : "");
}

}  // namespace

void SIPSetChallengeResender(int resend, SIPChallengeResender resender) {
  if (resend > 0 && resend < kResendKinds) g_resenders[resend] = resender;
}

void SIPForgetChallenges(const SIPTransactionHolder& transaction) {
  if (SIPTransactionHolderIsValid(transaction)) Ledger().Forget(transaction->serial);
}

int SIPACKSendRequest(const SIPDialog* dialog, const SIPTransactionHolder& invite) {
  ZEQLogPrintf("SIPACKSendRequest: SIP( This: %08X, Dialog: %08X ) - #0", LogId(invite.Get()), LogId(dialog));
  try {
    if (!SIPTransactionHolderIsValid(invite)) {
      ZEQLogPrintf("SIPACKSendRequest: SIP: %08X - Transaction is not active... (%s)", LogId(invite.Get()), "ACK");
      return 0;
    }
    SIPTransactionHolder ack = SIPCreateBasedTransaction(invite, SIPTransactionHolder(), SIPTransactionHolder());
    if (!SIPTransactionHolderIsValid(ack)) return 0;
    SIPRecord* a = &ack->record;
    a->kind = kKindAck;
    a->messageMode = invite->record.messageMode;
    SIPCopyMessageContext(a, &invite->record);
    // The INVITE's own parties and Call-ID, whatever the response said.
    a->msg.from = invite->record.msg.from;
    a->msg.requestURI = invite->record.msg.requestURI;
    SIPTransactionSetRequest(ack.Get(), invite);
    a->request = &invite->record;
    int built;
    if (dialog) {
      SIPDialog copy = *dialog;  // an ACK does not count the dialog's CSeq
      built = SIPPrepareDialogRequestBuffer(a, &copy, "ACK", nullptr, nullptr, 0);
    } else {
      built = SIPPrepareRequestBuffer(a, "ACK", nullptr, nullptr, 0);
    }
    if (built != kSIPBuilt) {
      ZEQLogPrintf("SIPACKSendRequest: SIP: %08X - [FAILED] not built (%d)", LogId(invite.Get()), built);
      return 0;
    }
    return SendSIPMessage(ack, 0, nullptr);
  } catch (...) {
    ZEQLogPrintf("!SIPACKSendRequest: Unexpected exception...");
    return 0;
  }
}

int SIPPrepareAuthenticateResponse(int status, const SIPTransactionHolder& transaction) {
  if (!SIPTransactionHolderIsValid(transaction)) return 0;
  SIPRecord* r = &transaction->record;
  const char* header = sipagent::CredentialsHeaderName(status);
  if (!header) {
    ZEQLogPrintf("SIPPrepareAuthenticateResponse: SIP: %08X - [%d] - Invalid response code...",
                 LogId(transaction.Get()), status);
    return 0;
  }
  // A transaction that ended, or got its final answer meanwhile, is not
  // sent again.
  int32_t state = SIPGetTransactionState(transaction);
  if (r->endReason != 0 || (state != kSIPStateTrying && state != kSIPStateProceeding)) return 0;
  FillCredentials(r, header);
  r->authAttempts += 1;
  SIPGenerateBranch(r);
  bool relatedLive = SIPTransactionHolderIsValid(transaction->related);
  auto resend = sipagent::ChooseChallengeResend(r->kind, r->endReason == 0, relatedLive);
  if (resend == sipagent::ChallengeResend::kNone) return 0;
  SIPChallengeResender resender = g_resenders[static_cast<int>(resend)];
  return resender ? resender(transaction) : ResendAsBefore(transaction);
}

bool SIPAnswerChallenge(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response, int status) {
  try {
    if (!SIPTransactionHolderIsValid(transaction) || !SIPTransactionHolderIsValid(response)) return false;
    const SIPDigestChallenge& challenge = response->record.msg.digest;
    sipagent::ChallengeVerdict verdict = Ledger().Decide(transaction->serial, transaction->record.authAttempts,
                                                         challenge.stale, challenge.realm, challenge.nonce);
    if (verdict != sipagent::ChallengeVerdict::kAnswer) {
      ZEQLogPrintf("SIPEnsureToSendCredentials: SIP: %08X - [%d] - Credentials wont be sent... (%s)",
                   LogId(transaction.Get()), status, sipagent::ChallengeVerdictText(verdict));
      Ledger().Forget(transaction->serial);
      return false;
    }
    if (transaction->record.kind == kKindInvite) SIPACKSendRequest(nullptr, transaction);
    if (SIPPrepareAuthenticateResponse(status, transaction)) return true;
    Ledger().Forget(transaction->serial);
    return false;
  } catch (...) {
    ZEQLogPrintf("!SIPAnswerChallenge: Unexpected exception...");
    return false;
  }
}
