// The user agent's dialog records and their process-wide list: made from
// the transaction that opens a dialog (an answered INVITE, SUBSCRIBE or
// REFER), found again by every message of it, and dropped when their
// transaction ends. The list's lock also guards the dialogs' changing
// fields (remote target, remote CSeq, route set). The rules themselves are
// in sip/dialog_rules.h.
#pragma once
#include <cstdint>

#include "foundation/shared_handle.h"
#include "sip/header_values.h"
#include "sip/transaction.h"

// One dialog: the fields the message builders read, and the transaction
// that made it.
struct SIPDialogRecord {
  SIPDialog fields;
  SIPTransactionHolder owner;
};
void SIPDialogDelete(SIPDialogRecord* dialog);
template <>
struct ZEQPayloadTraits<SIPDialogRecord>
    : ZEQPayloadPolicy<SIPDialogRecord, SIPDialogDelete, ZEQPayloadFree::ByDeleter> {};
using SIPDialogHolder = ZEQSharedHandle<SIPDialogRecord>;

// A new listed dialog of the transaction; empty when it has no To tag.
SIPDialogHolder SIPDialogCreate(const SIPTransactionHolder& transaction);
bool SIPDialogListAdd(const SIPDialogHolder& dialog);     // once; true
bool SIPDialogListRemove(const SIPDialogHolder& dialog);  // true
bool SIPDialogListContains(const SIPDialogHolder& dialog);
size_t SIPDialogListCount();
long SIPDialogsAllocated();

// The newest listed dialog of (callId, tagA, tagB) for the mode (0 server:
// tagA is the local tag; else tagA is the remote tag), or an empty holder.
SIPDialogHolder SIPDialogListFind(int mode, const char* callId, const char* tagA, const char* tagB);
bool SIPMatchDialog(int mode, const SIPDialogHolder& dialog, const char* callId, const char* tagA, const char* tagB);
// The dialog of a transaction: its UA mode, Call-ID, To tag and From tag.
SIPDialogHolder SIPFindDialog(const SIPTransactionHolder& transaction);
// Drops the listed dialogs of the transaction that it made itself; false
// when it has no To tag.
bool SIPReleaseTransactionDialogs(const SIPTransactionHolder& transaction);

// The CSeq rule for a request received in the dialog: true when accepted
// (the request's number and method become the dialog's); when refused,
// the request is answered 500 "Server Internal Error" and nothing changes.
bool SIPCheckRemoteCSeq(const SIPDialogHolder& dialog, const SIPTransactionHolder& request);
// Answers a request received in the dialog with status, after the CSeq
// rule: a refused request gets the 500 and only that. 1 when the asked
// answer was sent, 0 when the request was refused or nothing could be sent.
int SIPSendDialogResponse(const SIPDialogHolder& dialog, const SIPTransactionHolder& request, int status,
                          const char* reason, const char* contentType, const char* body, size_t bodyLength);

// Whether a request of the method (letter case aside) is still pending in
// the dialog: a pushed transaction with a To tag whose dialog it is, not
// yet completed, on the same side (UA mode) as the dialog's owner is of
// transaction's. Re-INVITEs and hold ask it for "INVITE".
bool SIPDialogHasPendingRequest(const char* method, const SIPDialogHolder& dialog,
                                const SIPTransactionHolder& transaction);
