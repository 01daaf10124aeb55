// Answers to 401 and 407 challenges and the ACK of an INVITE's final
// response. The transaction layer hands every challenge to
// SIPAnswerChallenge (installed as its answerChallenge operation); when
// that answers false the challenge ends as a final error.
#pragma once

#include "sip/header_values.h"
#include "sip/transaction.h"

// Builds and sends the ACK of the INVITE: inside the dialog when dialog is
// given (null: a plain ACK on the INVITE's own Request-URI and Via).
// Non-zero when sent; 0 when the INVITE record is dead or nothing went out.
int SIPACKSendRequest(const SIPDialog* dialog, const SIPTransactionHolder& invite);

// Decides on the challenge (the first of an attempt, then only stale ones
// with a new nonce, bounded: sip/challenge_rules.h), acknowledges an
// INVITE's challenge and sends the request again with credentials. False
// when no credentials were sent.
bool SIPAnswerChallenge(const SIPTransactionHolder& transaction, const SIPTransactionHolder& response, int status);

// Stores the credentials header for the status, completes the
// transaction, counts the answer, gives it a new branch and sends the
// request again by its kind. Non-zero when the request was sent again.
int SIPPrepareAuthenticateResponse(int status, const SIPTransactionHolder& transaction);

// How a request kind goes out again after a challenge. Until a flow
// installs its own, a challenged request is built again as it was (same
// method, body and target, the next CSeq) and sent. Null restores that.
using SIPChallengeResender = int (*)(const SIPTransactionHolder& transaction);
void SIPSetChallengeResender(int resend, SIPChallengeResender resender);

// Drops what was noted of the transaction's challenges (it ended).
void SIPForgetChallenges(const SIPTransactionHolder& transaction);
