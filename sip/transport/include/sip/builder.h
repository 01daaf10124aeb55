// Building SIP messages into their records. Each builder sets the record's
// message mode, writes the whole message in one fixed header order, keeps
// the text as the record's prepared message and parses it back into the
// record, so the record always describes the message that goes out.
// A message is at most kSIPMaxBuiltMessage characters: a longer one is
// refused (nothing is kept and the record's prepared message is unchanged).
// Pure logic: standard headers and the foundation's heap only.
#pragma once
#include <cstddef>

#include "sip/header_values.h"
#include "sip/record.h"

constexpr size_t kSIPMaxBuiltMessage = 8192;

enum SIPBuildResult : int {
  kSIPBuilt = 1,
  kSIPBuildNoRequest = -20,   // an ACK without the request it acknowledges
  kSIPBuildTooLong = -21,     // the message would exceed kSIPMaxBuiltMessage
  kSIPBuildUnparsable = -22,  // the text did not parse back
};

// Receives the builders' failure lines (none by default).
void SIPSetBuildLog(void (*log)(const char* line));

// contentType and body may be null; bodyLength counts the body's bytes.
int SIPPrepareRequestBuffer(SIPRecord* record, const char* method, const char* contentType, const char* body,
                            size_t bodyLength);
int SIPPrepareDialogRequestBuffer(SIPRecord* record, SIPDialog* dialog, const char* method, const char* contentType,
                                  const char* body, size_t bodyLength);
// reason may be null: "Trying" for 100, the table text otherwise.
int SIPPrepareResponseBuffer(SIPRecord* record, int statusCode, const char* reason, const char* contentType,
                             const char* body, size_t bodyLength);
int SIPPrepareDialogResponseBuffer(SIPRecord* record, SIPDialog* dialog, int statusCode, const char* reason,
                                   const char* contentType, const char* body, size_t bodyLength);

// Inserts "name" and the formatted value as the last header line of the
// record's prepared message (before its last empty line). Returns 1 when
// inserted; 0 when the value is empty, the text has no empty line, or the
// message would exceed kSIPMaxBuiltMessage (the text is then unchanged).
int SIPInsertMessageHeader(SIPRecord* record, const char* name, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
