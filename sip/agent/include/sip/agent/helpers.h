// Small operations on a SIP transaction that the user agent's flows and the
// transaction layer share.
#pragma once
#include <oaidl.h>

#include "sip/transaction.h"

// State tests (the state word is read under the transaction lock).
bool IsSIPBeforeFinalResponse(const SIPTransactionHolder& transaction);        // CALLING/TRYING or PROCEEDING
bool IsSIPTransactionProceeding(const SIPTransactionHolder& transaction);      // PROCEEDING
bool IsSIPTransactionCompletedState(const SIPTransactionHolder& transaction);  // exactly COMPLETED
bool IsSIPTransactionAccepted(const SIPTransactionHolder& transaction);        // ACCEPTED
// COMPLETED, CONFIRMED, ACCEPTED or TERMINATED.
bool IsSIPTransactionCompleted(const SIPTransactionHolder& transaction);
// No end reason recorded yet.
bool IsSIPTransactionOpen(const SIPTransactionHolder& transaction);
// The two holders name different records.
bool SIPIsOtherTransaction(const SIPTransactionHolder& first, const SIPTransactionHolder& second);

// A new Call-ID of 32 lower-case hex digits; false when no GUID could be made.
bool SIPGenerateCallID(const SIPTransactionHolder& transaction);
bool SIPWriteNewCallID(SIPRecord* record);
// The failure path of the request senders: logged, taken off the pending
// list; always false.
bool SIPErrorSendindRequest(const SIPTransactionHolder& transaction);
// Sends the last sent message again, unchanged; nothing without one.
void SIPResendLastMessage(const SIPTransactionHolder& transaction);
// Asks script whether a call not answered in time is to end; true = end it
// (only an answer of ZEQACTION_CANCEL keeps it).
bool SIPAskTerminateExpiredCalling(const SIPTransactionHolder& transaction);
// Adds header + the formatted value as the last line of the prepared
// message's header block; nothing for an empty value. true.
bool SIPInsertMessageHeader(const SIPTransactionHolder& transaction, const char* header, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
// Copies source's parsed Reason header into destination; false unless both
// are set.
bool SIPCopyReason(const SIPTransactionHolder& destination, const SIPTransactionHolder& source);
// The transaction's related transaction when it is live, else empty.
SIPTransactionHolder SIPGetRelatedTransaction(const SIPTransactionHolder& transaction);
// A script string from UTF-8 text (null or empty: an empty string); false
// for a null VARIANT.
bool VariantSetUTF8String(VARIANT* value, const char* text);
