#include "package/package_format.h"

#include <cstring>

#include "foundation/blowfish.h"
#include "foundation/heap.h"

const char kPackageOpenTag[4] = "//{";
const char kPackageDataOpenTag[4] = "//(";
const char kPackageDataCloseTag[4] = ")//";
const char kPackageCloseTag[4] = "}//";

namespace {

constexpr size_t kTagBytes = 3;

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool TakeTag(const uint8_t* stream, size_t length, size_t* offset, const char* tag) {
  if (length - *offset < kTagBytes || std::memcmp(stream + *offset, tag, kTagBytes) != 0) return false;
  *offset += kTagBytes;
  return true;
}

bool TakeLength(const uint8_t* stream, size_t length, size_t* offset, uint32_t* value) {
  if (length - *offset < 4) return false;
  *value = LoadLE32(stream + *offset);
  *offset += 4;
  return true;
}

bool CipherCustom(char* field, const char* key, bool encipher) {
  const size_t keyLength = key ? std::strlen(key) : 0;
  const auto* k = reinterpret_cast<const uint8_t*>(key ? key : "");
  auto* bytes = reinterpret_cast<uint8_t*>(field);
  return encipher ? BlowfishEncryptBuffer(k, keyLength, bytes, kPackageTextField, bytes, kBlowfishCBC)
                  : BlowfishDecryptBuffer(k, keyLength, bytes, kPackageTextField, bytes, kBlowfishCBC);
}

}  // namespace

bool PackageHeaderHasMagic(const ZEQPackageHeader& header) {
  return std::memcmp(header.Magic, kPackageMagic, sizeof(kPackageMagic)) == 0;
}

uint32_t PackageStoredFlags(uint32_t flags, uint32_t type) {
  flags &= 0xFFFFu;
  flags &= ~ZEQPKG_UNUSED_BIT;
  if (type == ZEQPKG_TYPE_SINGLE) flags &= ~ZEQPKG_TAGGED;
  return flags;
}

bool PackageCustomByteAllowed(uint8_t byte) {
  static const uint8_t kAllowed[] = {0xA9, 0xAE, 0xC1, 0xC3, 0xC9, 0xCA, 0xCD, 0xD3, 0xD4, 0xDA, 0xE0,
                                     0xE1, 0xE2, 0xE3, 0xE7, 0xE9, 0xEA, 0xED, 0xF3, 0xF4, 0xF5, 0xFA};
  if (byte <= 0x7F) return true;
  for (uint8_t allowed : kAllowed)
    if (allowed == byte) return true;
  return false;
}

bool PackageCustomFieldIsText(const uint8_t* field, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!PackageCustomByteAllowed(field[i])) return false;
  return true;
}

bool PackageCustomTextAcceptable(const char* text) {
  if (!text) return true;
  const size_t n = strnlen(text, kPackageTextField + 1);
  return n <= kPackageTextField && PackageCustomFieldIsText(reinterpret_cast<const uint8_t*>(text), n);
}

bool PackageEncipherCustom(char* field, const char* key) { return CipherCustom(field, key, true); }
bool PackageDecipherCustom(char* field, const char* key) { return CipherCustom(field, key, false); }

bool PackagePathIsValidFileEntry(const char* path, size_t length) {
  if (!path || length == 0) return false;
  // The file name ends at the first directive.
  size_t end = length;
  static const char* const kDirectives[] = {":file(", ":exec(", ":ref(", ":opt("};
  for (const char* directive : kDirectives) {
    const size_t d = std::strlen(directive);
    for (size_t i = 0; i + d <= end; ++i) {
      if (std::memcmp(path + i, directive, d) == 0) {
        end = i;
        break;
      }
    }
  }
  size_t begin = 0;
  for (size_t i = 0; i < end; ++i)
    if (path[i] == '\\') begin = i + 1;
  for (size_t i = begin; i < end; ++i)
    if (std::strchr("\\/:*?\"<>|", path[i])) return false;
  return true;
}

int PackageReadEntry(const uint8_t* stream, size_t length, size_t* offset, bool tagged, PackageEntryView* entry,
                     bool* more) {
  *more = false;
  std::memset(entry, 0, sizeof(*entry));
  size_t at = *offset;
  if (at > length) return ZEQPKG_EXTRACT_ERROR_NONE;
  entry->start = at;
  if (tagged) {
    if (length - at < kTagBytes) return ZEQPKG_EXTRACT_ERROR_NONE;
    if (!TakeTag(stream, length, &at, kPackageOpenTag)) return ZEQPKG_EXTRACT_ERROR_OPENTAG;
  }
  uint32_t pathLength = 0;
  if (!TakeLength(stream, length, &at, &pathLength) || pathLength == 0 || pathLength > length - at)
    return tagged ? ZEQPKG_EXTRACT_ERROR_CLOSETAG : ZEQPKG_EXTRACT_ERROR_NONE;
  entry->type = char(stream[at]);
  entry->path = reinterpret_cast<const char*>(stream + at + 1);
  entry->pathLength = pathLength - 1;
  at += pathLength;
  if (entry->type == ZEQPKG_CONTENT_TYPE_FILE) {
    uint32_t dataLength = 0;
    if (!TakeLength(stream, length, &at, &dataLength)) return ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH;
    entry->dataLengthRead = true;
    entry->dataLength = dataLength;
    if (tagged && !TakeTag(stream, length, &at, kPackageDataOpenTag)) return ZEQPKG_EXTRACT_ERROR_CLOSETAG;
    if (dataLength > length - at) return ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH;
    entry->data = stream + at;
    entry->dataLength = dataLength;
    at += dataLength;
    if (tagged && !TakeTag(stream, length, &at, kPackageDataCloseTag)) return ZEQPKG_EXTRACT_ERROR_CLOSETAG;
  }
  if (tagged && !TakeTag(stream, length, &at, kPackageCloseTag)) return ZEQPKG_EXTRACT_ERROR_CLOSETAG;
  entry->end = at;
  *offset = at;
  *more = true;
  return ZEQPKG_EXTRACT_ERROR_NONE;
}

char* PackageNormaliseEntryPath(const char* path, size_t length) {
  auto* out = static_cast<char*>(HeapAllocZ(length + 2));
  size_t n = 0;
  if (length == 0 || (path[0] != '\\' && path[0] != '/')) out[n++] = '\\';
  for (size_t i = 0; i < length; ++i) out[n++] = (i == 0 && path[i] == '/') ? '\\' : path[i];
  return out;
}
