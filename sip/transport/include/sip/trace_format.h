// The text of a SIP trace record: one log entry opened by "<<\" and closed
// by "/>>", holding attributes (name="value", separated by ", ") and, for
// messages, the message text, so that tools can follow every message and
// event of a call through the log.
// Pure logic: standard headers only.
#pragma once
#include <cstdint>
#include <string>

struct SIPTraceRecordFields {
  const char* type = "";           // "SIP:Message", "SIP:Event", "SIP:Alert" ...
  const char* header = "";         // the message text (or the first part of it)
  const char* body = "";
  uint32_t resultCode = 0;
  const char* resultMessage = "";
  const char* attributes = "";     // "Direction=\"IN\"" ...
  const char* localHost = "";      // the listener address of the root connection
  int localPort = 0;
  const char* remoteHost = "";
  int remotePort = 0;
  const char* account = "";        // "user@domain" of the message's connection
  const char* category = "";       // the request method of the matched transaction
  uint32_t id = 0, baseId = 0, rootId = 0;
  const char* groupId = "";        // the Call-ID
  bool probe = false;              // the transaction is the probe REGISTER
  uint32_t thread = 0;
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  double counterSeconds = 0;       // the high-resolution counter in seconds
};

// The record's text, written as it is (percent signs are not doubled: the
// writer hands the text to the log as an argument, never as a format).
std::string SIPFormatTraceRecord(const SIPTraceRecordFields& fields);
