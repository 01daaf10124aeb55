#include "package/cipher_keys.h"

#include <cstring>

#include "foundation/md5.h"
#include "foundation/text.h"

void DerivePackageKey(const char* password, char* keyOut) {
  if (!password) return;
  if (!*password) {
    GetBuiltInCipherKey(keyOut, false);
    return;
  }
  MD5Buffer(password, std::strlen(password), keyOut);
}

void SetPackageKey(char* keyField, const char* password, uint32_t flags) {
  if (flags & kPackageKeyIsRaw) {
    if (password) StrCopyN(keyField, password, kCipherKeyTextMax);
    return;
  }
  DerivePackageKey(password, keyField);
}

bool PrepareCipherKey(char* keyBuffer, int* modeOut, uint32_t options) {
  if (strnlen(keyBuffer, kBlowfishMaxKeyBytes + 1) > kBlowfishMaxKeyBytes) return false;
  *modeOut = (options & kCipherKeyOptionECB) ? kBlowfishECB : kBlowfishCBC;
  if (options & kCipherKeyOptionBuiltIn) GetBuiltInCipherKey(keyBuffer, true);
  if (!*keyBuffer) GetBuiltInCipherKey(keyBuffer, false);
  return true;
}
