// Fuzzes the message parser with whole messages: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "sip/parser.h"
#include "sip/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes are copied to a block of their exact size, so any read past
  // the message's end is caught.
  std::unique_ptr<char[]> text(new char[size ? size : 1]);
  if (size) memcpy(text.get(), data, size);
  std::unique_ptr<SIPRecord> record(new SIPRecord);
  SIPRecordInit(record.get());
  SIPParseMessage(record.get(), text.get(), size, nullptr, 0);
  long length;
  SIPGetContentLength(text.get(), size, &length);
  SIPRecordFree(record.get());
  return 0;
}
