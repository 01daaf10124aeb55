// Fuzzes the URI and name-address parser, and writes what it read back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "sip/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size ? size : 1]);
  if (size) memcpy(text.get(), data, size);
  SIPURI uri;
  SIPParseNameAddrText(&uri, text.get(), size);
  const char* na;
  size_t naLength;
  const char* params;
  size_t paramsLength;
  SIPSplitNameAddr(text.get(), size, &na, &naLength, &params, &paramsLength);
  for (unsigned flags : {0u, 1u, 8u, 0x20u}) {
    char out[600];  // smaller than a full URI: the writer must stop, not overrun
    SIPTextOut o(out, sizeof out);
    SIPFormatURI(&uri, &o, flags);
  }
  SIPRouteEntry entry;
  memset(&entry, 0, sizeof entry);
  entry.used = 1;
  entry.uri = uri;
  char line[1200];
  SIPTextOut l(line, sizeof line);
  SIPWriteNameAddrHeader(&entry, "Route", &l);
  return 0;
}
