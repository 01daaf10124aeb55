// Fuzzes the header values and builders with received messages: whatever
// parses is answered and re-requested, so received Vias, routes, tags and
// addresses go through every value writer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "sip/builder.h"
#include "sip/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size ? size : 1]);
  if (size) memcpy(text.get(), data, size);
  std::unique_ptr<SIPRecord> account(new SIPRecord), record(new SIPRecord);
  SIPRecordInit(account.get());
  SIPRecordInit(record.get());
  strcpy(account->account.user, "alice");
  strcpy(account->account.domain, "example.com");
  record->based = account.get();
  if (SIPParseMessage(record.get(), text.get(), size, nullptr, 0) == kSIPParsed) {
    record->kind = 3 + static_cast<int>(size % 20);
    SIPPrepareResponseBuffer(record.get(), 200, nullptr, nullptr, nullptr, 0);
    SIPPrepareResponseBuffer(record.get(), 302, nullptr, "text/plain", "x\ty", 3);
    record->kind = 4;
    SIPPrepareRequestBuffer(record.get(), "INVITE", nullptr, nullptr, 0);
    SIPDialog dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.routes = record->msg.routes;
    dialog.remoteTarget = record->msg.contact.uri;
    SIPPrepareDialogRequestBuffer(record.get(), &dialog, "BYE", nullptr, nullptr, 0);
    SIPInsertMessageHeader(record.get(), "Retry-After: ", "%d", 2);
  }
  SIPRecordFree(record.get());
  SIPRecordFree(account.get());
  return 0;
}
