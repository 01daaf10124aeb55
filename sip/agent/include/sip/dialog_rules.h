// The rules of dialogs and subscriptions that need no platform: which
// dialog a message belongs to, how a new dialog is filled from the
// transaction that makes it, the dialog's CSeq rule for received requests
// (with the one final response a refused request gets), and which
// subscription a transaction belongs to. The records themselves, their
// process-wide lists and locks are in sip/dialogs.h.
// Pure logic: standard headers and the transport's message layer only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/header_values.h"
#include "sip/record.h"

namespace sipagent {

// UA modes of a transaction: 1 client, 0 server, -1 unknown. Every mode
// other than 0 is treated as client.
constexpr int kUAModeServer = 0;
constexpr int kUAModeClient = 1;

// Whether the dialog is the one of (callId, tagA, tagB). Server mode (0):
// tagA is the dialog's local tag and tagB its remote tag; any other mode the
// other way round. Call-ID and tags are compared without regard to case.
bool DialogMatches(int mode, const SIPDialog& dialog, const char* callId, const char* tagA, const char* tagB);

// Fills a zeroed dialog from the transaction that makes it. Client: the
// Record-Route entries reversed, the local party the From, the remote
// party the To, the local CSeq the transaction's. Server: the entries in
// their order, the local party the To, the remote party the From, the
// remote CSeq the transaction's. Empty route entries are skipped. The
// Call-ID and the remote target (the Contact, when it has a host) follow.
// False (dialog untouched) when the transaction has no To tag.
bool FillDialog(SIPDialog* dialog, const SIPRecord& transaction, int mode);

// The CSeq rule of a request received in a dialog: accepted unless the
// dialog already accepted a request and this one's number is lower
// (compared unsigned); an equal number is accepted.
bool RemoteCSeqAccepted(const SIPDialog& dialog, uint32_t cseq);
// Notes an accepted request: its number and method become the dialog's.
void NoteRemoteCSeq(SIPDialog* dialog, uint32_t cseq, const char* method);

// The status and text of the answer to a request the CSeq rule refuses.
constexpr int kCSeqRefusalStatus = 500;
constexpr char kCSeqRefusalReason[] = "Server Internal Error";

enum class DialogAnswer {
  kBuilt,      // the asked response was built; the request's CSeq is the dialog's now
  kRefused,    // the CSeq rule refused the request: the refusal was built instead, nothing changed
  kNotBuilt,   // the builder failed (see sip/builder.h); nothing changed
};
// Builds the response of a received request in its dialog, running the
// CSeq rule first: a refused request gets the refusal and only that, and
// the dialog keeps its CSeq. The caller holds the dialogs' lock and sends
// the record's prepared message.
DialogAnswer PrepareDialogAnswer(SIPRecord* request, SIPDialog* dialog, int status, const char* reason,
                                 const char* contentType, const char* body, size_t bodyLength);
// Builds the refusal of a request the CSeq rule refused.
int PrepareCSeqRefusal(SIPRecord* request, SIPDialog* dialog);

// The fields of a subscription that its matching reads.
struct SubscriptionKey {
  bool hasDialog;
  bool isRefer;             // the subscription's transaction is a REFER
  const char* eventName;    // the subscription's Event package
  const char* eventId;
  uint32_t requestCSeq;     // CSeq of the request that made it
  const char* callId;       // Call-ID of that request
  const char* fromTag;      // From tag of that request
};
enum class SubscriptionMatch {
  kNone,
  kCandidate,  // taken when the event matches too
  kAtOnce,     // taken without looking at the event
};
// Whether a transaction (its record) belongs to the subscription.
// sameDialog says whether the two find the same dialog (two without one
// count as the same); it is read only for a subscription with a dialog.
SubscriptionMatch MatchSubscription(const SubscriptionKey& subscription, const SIPRecord& transaction,
                                    bool sameDialog);
// The event test of a candidate: the expected event is "refer" with the
// transaction's Event id for a REFER subscription, else the transaction's
// Event header. Package names compare without regard to case, ids
// exactly.
bool SubscriptionEventMatches(const SubscriptionKey& subscription, const SIPRecord& transaction);

// Copies text into a fixed field, cut to the field.
void CopyField(char* field, size_t size, const char* text);
// ASCII comparison without regard to case; null counts as "".
bool EqualNoCase(const char* a, const char* b);

}  // namespace sipagent
