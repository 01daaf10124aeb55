// MD5 of any bytes: the digest of the whole input equals the digest of the
// same bytes fed in pieces (piece sizes taken from the input itself), and
// the hex text is 32 lower-case digits of that digest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/md5.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char whole[kMD5HexSize];
  MD5Buffer(data, size, whole);

  MD5Context context;
  MD5Init(&context);
  size_t done = 0;
  for (size_t i = 0; done < size; ++i) {
    size_t piece = 1 + data[i % size] % 97;
    if (piece > size - done) piece = size - done;
    MD5Update(&context, data + done, piece);
    done += piece;
  }
  unsigned char digest[kMD5DigestSize];
  MD5Final(digest, &context);
  char pieces[kMD5HexSize];
  MD5ToHex(digest, pieces);

  if (std::strcmp(whole, pieces) != 0) abort();
  if (std::strlen(whole) != 32 || std::strspn(whole, "0123456789abcdef") != 32) abort();
  for (size_t i = 0; i < kMD5DigestSize; ++i) {
    static const char kHex[] = "0123456789abcdef";
    if (whole[2 * i] != kHex[digest[i] >> 4] || whole[2 * i + 1] != kHex[digest[i] & 15]) abort();
  }
  return 0;
}
