// SIP trace records in the process log (the text's layout is in
// sip/trace_format.h): one for every message received or sent, every event
// raised into script, every refused state change, destination look-ups and
// media stream reports.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

// Flags bit 0: the entry is posted to the main window's thread instead of
// being written at once (writers on other threads).
constexpr uint32_t kSIPTracePost = 0x1;

// Writes one record for the message record (or the transaction concerned),
// named after the transaction it matches; 1 when written, 0 for an empty
// record holder.
int SIPWriteTraceRecord(const char* type, const char* header, const char* body, uint32_t resultCode,
                        const char* resultMessage, const char* attributes, const char* remoteHost, int remotePort,
                        uint32_t flags, const SIPTransactionHolder& record);
