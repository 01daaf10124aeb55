// Failures of requests this side sent: the error report through which each
// one reaches script as "ZEQOnSIPError", and the handling of final error
// responses (300 to 699, but a followed redirection or an answered
// challenge), which the transaction layer hands to the user agent.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

// Records code as the transaction's last error; while the account is not
// listening also as its connection's result, waking a registration
// start-up that waits for the outcome. A transaction that script holds
// gets "ZEQOnSIPError" (code as argument, number 0, the flags given) and
// the script's answer is returned; any other ends (TERMINATED) and
// ZEQACTION_CONTINUE is returned.
uint32_t SIPInvokeTransactionError(const SIPTransactionHolder& transaction, int code, uint32_t flags);

// A final error response to a request before its final response: the
// method's own handler (INVITE, BYE, SUBSCRIBE, REFER) first; then, unless
// that handler finished it, the transaction is refused, completed and its
// error reported; its end event follows unless script's answer to the
// error was other than ZEQACTION_CONTINUE (then 0). A repeated final
// response only acknowledges an INVITE again. 1.
int SIPProccessFinalErrorResponse(int status, const SIPTransactionHolder& response,
                                  const SIPTransactionHolder& transaction);
// The INVITE's own handling: refused, completed and acknowledged; the code
// reported unless the call was cancelled or the INVITE changes an existing
// call (a re-INVITE). 0: the end event is the caller's.
int SIPINVITEProccessFinalErrorResponse(const SIPTransactionHolder& invite, int status);
// A SUBSCRIBE's and a REFER's: refused when still open. 1.
int SIPSUBSCRIBEProccessErrorResponse(const SIPTransactionHolder& response, const SIPTransactionHolder& transaction);
int SIPREFERProccessErrorResponse(const SIPTransactionHolder& response, const SIPTransactionHolder& transaction);

// The user agent's handling of responses as the transaction layer calls it:
// final errors here, every other response to the handling installed
// before (kept by SIPInstallFinalErrorHandling).
void SIPProcessResponse(int handler, const SIPTransactionHolder& transaction, const SIPTransactionHolder& response,
                        int status);
// Installs SIPInvokeTransactionError and SIPProcessResponse in the
// transaction layer, keeping its current response handling for the
// responses that are not final errors. Once per process.
void SIPInstallFinalErrorHandling();
