// The single header values of outgoing messages: name-address values of
// From, To and Contact, the Via lines, the optional headers and the custom
// headers. Each reads the record (its kind and message mode decide whether
// the header belongs in the message), its root account or a dialog.
// Contact and Via keep the placeholders %contact_ip%, %contact_port%,
// %listener_ip% and %listener_port% for the sender to fill.
// Pure logic: standard headers and the foundation's heap only.
#pragma once
#include <cstdint>

#include "sip/record.h"
#include "sip/text_out.h"

// What a build reads of a dialog (the user agent's dialog record carries
// these fields).
struct SIPDialog {
  char callId[132];
  SIPURI localURI;
  char localTag[132];
  char localDisplayName[129];
  int32_t localCSeq;
  SIPURI remoteURI;
  char remoteTag[132];
  char remoteDisplayName[129];
  SIPURI remoteTarget;
  int32_t lastRemoteCSeq;
  char lastRemoteCSeqMethod[36];
  SIPRouteSet routes;
};

// The allowed methods list.
extern const char kSIPAllowedMethods[];

// Value writers: false when the mode gives no value (out then untouched).
bool SIPFormatFromValue(int32_t mode, SIPTextOut* out, SIPRecord* record);
bool SIPFormatToValue(int32_t mode, SIPTextOut* out, SIPRecord* record);
bool SIPFormatDialogLocalParty(int32_t mode, SIPTextOut* out, const SIPDialog* dialog);
bool SIPFormatDialogRemoteParty(int32_t mode, SIPTextOut* out, const SIPDialog* dialog);
bool SIPFormatContactValue(SIPTextOut* out, SIPRecord* record);
// The Via line(s), "Via: " names included, separated by CR LF.
bool SIPFormatViaHeaders(SIPTextOut* out, int32_t mode, SIPRecord* record);
bool SIPFormatViaEntry(const SIPVia* via, SIPTextOut* out, int32_t mode);
int SIPViaCount(const SIPVia* list);

// Appends one header line (CR LF in front when the buffer is not empty):
// 0 when the header is not wanted for this record, 1 otherwise (also when
// an empty value wrote nothing). The value is cut at 1024 characters.
int SIPAppendHeaderLine(SIPTextOut* message, const char* name, SIPRecord* record, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Line writers: 1 when a line was written.
int SIPAppendEventHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendSubscriptionStateHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendExpiresHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendReferToHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendReferredByHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendReplacesHeader(SIPTextOut* message, SIPRecord* record);
int SIPAppendAllowHeaders(SIPTextOut* message, SIPRecord* record);
int SIPAppendCustomHeaders(SIPTextOut* message, SIPRecord* record);

// For a REFER request the Referred-By URI becomes the account's address.
int SIPSetDefaultReferredBy(SIPRecord* record, const char* method);
// Sets the target of the record's requests (its To block): the URI given,
// its user part as display name; without one, the account's own address.
void SIPSetRequestTarget(SIPRecord* record, const SIPURI* uri);
// The record's Contact URI (when present) becomes the dialog's remote target.
void SIPDialogSetRemoteTarget(SIPDialog* dialog, const SIPRecord* record);
