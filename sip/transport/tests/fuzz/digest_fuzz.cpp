// Fuzzes the digest challenge: the input is the value of a WWW-Authenticate
// header of a 401; whatever is kept is answered and written as credentials.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "sip/digest.h"
#include "sip/parser.h"
#include "sip/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string value(reinterpret_cast<const char*>(data), size);
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';  // one header line
  std::string text = "SIP/2.0 401 Unauthorized\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nFrom: <sip:a@h>;tag=1\r\n"
                     "To: <sip:a@h>;tag=2\r\nCall-ID: c\r\nCSeq: 1 REGISTER\r\nWWW-Authenticate: " +
                     value + "\r\nContent-Length: 0\r\n\r\n";
  std::unique_ptr<SIPRecord> account(new SIPRecord), record(new SIPRecord);
  SIPRecordInit(account.get());
  SIPRecordInit(record.get());
  strcpy(account->account.authenticationUser, "alice");
  SIPAccountSetPassword(&account->account, "secret");
  record->based = account.get();
  if (SIPParseMessage(record.get(), text.data(), text.size(), nullptr, 0) == kSIPParsed) {
    strcpy(record->msg.digest.headerName, "Authorization");
    SIPComputeDigestResponse(record.get(), "sip:example.com", "REGISTER", "body", 4);
    char line[700];  // smaller than the longest line: the writer must refuse, not overrun
    SIPTextOut out(line, sizeof line);
    SIPPrepareAuthenticateResponseHeader(record.get(), &out);
  }
  SIPRecordFree(record.get());
  SIPRecordFree(account.get());
  return 0;
}
