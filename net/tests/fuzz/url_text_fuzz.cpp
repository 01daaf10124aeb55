// Reads arbitrary text as a URL, a typed address and an HTTP header block.
#include <cstdint>
#include <cstring>
#include <string>

#include "net/url_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  URLComponents parts;
  ParseURL(text.c_str(), &parts);
  parts.Free();
  char out[kTypedURLSize];
  for (int keys = 0; keys < 4; ++keys) AdjustTypedURLWithKeys(out, text.c_str(), 2, keys & 1, keys & 2);
  HTTPStatus status;
  ParseHTTPStatusLine(text.c_str(), &status);
  int32_t length;
  GetHTTPContentLength(text.c_str(), &length);
  // Exact-size buffers, so that a write past one is seen.
  char* small = new char[17];
  GetHTTPHeaderValue("Content-Length", text.c_str(), small, 17);
  GetHTTPHeaderValue("Host", text.c_str(), small, 17);
  delete[] small;
  return 0;
}
