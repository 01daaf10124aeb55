// Enciphered and Base64 files for page script. An enciphered file is the
// plain file's length (32-bit little-endian) followed by the file in chunks
// of 65536 bytes, each enciphered on its own with Blowfish from a zero
// chaining block, the last one rounded up to whole 8-byte blocks.
#include <cstring>
#include <vector>

#include "file_call.h"
#include "foundation/base64_stream.h"
#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"
#include "package/cipher_keys.h"
#include "package/vfs.h"

namespace zeqfiles {
namespace {

constexpr DWORD kChunkBytes = 65536;

// Flags of the cipher functions.
constexpr int32_t kCipherFlagECB = 0x1;
constexpr int32_t kCipherFlagBuiltInKey = 0x2;

// The source opened for reading and the destination created empty; both
// closed with the pair.
class FilePair {
 public:
  FilePair(const char* source, const char* destination) {
    source_ = CreateFileExt(source, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (source_ == INVALID_HANDLE_VALUE) {
      error_ = GetLastError();
      return;
    }
    destination_ = CreateFileExt(destination, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 kCreateFileRetry);
    if (destination_ == INVALID_HANDLE_VALUE) {
      error_ = GetLastError();
      return;
    }
    SetFilePointerExt(source_, FILE_BEGIN, 0);
    SetFilePointerExt(destination_, FILE_BEGIN, 0);
    SetEndOfFileExt(destination_);
  }
  ~FilePair() {
    if (source_ != INVALID_HANDLE_VALUE) CloseHandleExt(&source_);
    if (destination_ != INVALID_HANDLE_VALUE) CloseHandleExt(&destination_);
  }
  FilePair(const FilePair&) = delete;
  FilePair& operator=(const FilePair&) = delete;

  bool Open() const { return source_ != INVALID_HANDLE_VALUE && destination_ != INVALID_HANDLE_VALUE; }
  DWORD Error() const { return error_; }
  HANDLE Source() const { return source_; }
  HANDLE Destination() const { return destination_; }

  bool Read(void* buffer, DWORD count, DWORD* read) { return ReadFileExt(source_, count, buffer, read) != FALSE; }
  bool Write(const void* data, DWORD count) {
    DWORD written = 0;
    return count == 0 || (WriteFileExt(destination_, data, count, &written) && written == count);
  }

 private:
  HANDLE source_ = INVALID_HANDLE_VALUE;
  HANDLE destination_ = INVALID_HANDLE_VALUE;
  DWORD error_ = 0;
};

// The key text of the script in a key buffer, wiped with the key.
class CipherKey {
 public:
  ~CipherKey() { SecureZeroMemory(key_, sizeof key_); }
  // False when the text is too long or the key cannot be prepared.
  bool Prepare(const char* text, int32_t flags) {
    const size_t length = text ? std::strlen(text) : 0;
    if (length > kBlowfishMaxKeyBytes) return false;
    if (length) std::memcpy(key_, text, length);
    uint32_t options = 0;
    if (flags & kCipherFlagECB) options |= kCipherKeyOptionECB;
    if (flags & kCipherFlagBuiltInKey) options |= kCipherKeyOptionBuiltIn;
    return PrepareCipherKey(key_, &mode_, options) && key_[0];
  }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(key_); }
  size_t Length() const { return strnlen(key_, kBlowfishMaxKeyBytes); }
  int Mode() const { return mode_; }

 private:
  char key_[kCipherKeyBufferSize] = {};
  int mode_ = kBlowfishCBC;
};

DWORD RoundToBlocks(DWORD length) { return (length + DWORD(kBlowfishBlockBytes) - 1) & ~DWORD(kBlowfishBlockBytes - 1); }

bool Encrypt(FilePair& files, const CipherKey& key) {
  const DWORD size = GetFileSizeExt(files.Source());
  if (size == INVALID_FILE_SIZE) return false;
  uint8_t header[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
  if (!files.Write(header, sizeof header)) return false;
  std::vector<uint8_t> chunk(kChunkBytes);
  for (;;) {
    DWORD read = 0;
    if (!files.Read(chunk.data(), kChunkBytes, &read)) return false;
    if (read == 0) return true;
    const DWORD rounded = RoundToBlocks(read);
    std::memset(chunk.data() + read, 0, rounded - read);
    if (!BlowfishEncryptBuffer(key.Bytes(), key.Length(), chunk.data(), rounded, chunk.data(), key.Mode()) ||
        !files.Write(chunk.data(), rounded)) {
      return false;
    }
  }
}

bool Decrypt(FilePair& files, const CipherKey& key) {
  uint8_t header[4];
  DWORD read = 0;
  if (!files.Read(header, sizeof header, &read) || read != sizeof header) return false;
  const DWORD length = DWORD(header[0]) | DWORD(header[1]) << 8 | DWORD(header[2]) << 16 | DWORD(header[3]) << 24;
  std::vector<uint8_t> chunk(kChunkBytes);
  uint64_t total = 0;
  for (;;) {
    if (!files.Read(chunk.data(), kChunkBytes, &read)) return false;
    if (read == 0) break;
    const DWORD rounded = RoundToBlocks(read);
    std::memset(chunk.data() + read, 0, rounded - read);
    if (!BlowfishDecryptBuffer(key.Bytes(), key.Length(), chunk.data(), rounded, chunk.data(), key.Mode()) ||
        !files.Write(chunk.data(), read)) {
      return false;
    }
    total += read;
  }
  // A header that claims more than the file holds marks a damaged or
  // foreign file: padding it out with zeros would report garbage as the
  // plain file.
  if (length > total) return false;
  return SetFilePointerExt(files.Destination(), FILE_BEGIN, LONG(length)) != INVALID_SET_FILE_POINTER &&
         SetEndOfFileExt(files.Destination());
}

bool ToBase64(FilePair& files, int32_t flags) {
  Base64::StreamEncoder encoder{unsigned(flags)};
  std::vector<uint8_t> chunk(kChunkBytes);
  std::vector<char> text(Base64::StreamEncoder::MaxOutput(kChunkBytes));
  for (;;) {
    DWORD read = 0;
    if (!files.Read(chunk.data(), kChunkBytes, &read)) return false;
    if (read == 0) break;
    const size_t written = encoder.Encode(chunk.data(), read, text.data());
    if (!files.Write(text.data(), DWORD(written))) return false;
  }
  const size_t last = encoder.Finish(text.data());
  return files.Write(text.data(), DWORD(last));
}

bool FromBase64(FilePair& files) {
  Base64::StreamDecoder decoder;
  std::vector<char> text(kChunkBytes);
  std::vector<uint8_t> bytes(kChunkBytes / 4 * 3 + 3);
  for (;;) {
    DWORD read = 0;
    if (!files.Read(text.data(), kChunkBytes, &read)) return false;
    if (read == 0) break;
    size_t written = 0;
    if (!decoder.Decode(text.data(), read, bytes.data(), &written) || !files.Write(bytes.data(), DWORD(written))) {
      return false;
    }
  }
  return decoder.Complete();
}

HRESULT ConvertFile(DISPID id, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText source(args.Path(0));
  HeapText destination(args.Path(1));
  if (source.empty() || destination.empty()) return outcome.Deliver(result);
  const bool cipher = id == kEncryptFile || id == kDecryptFile;
  const int32_t flags = args.Int(cipher ? 3 : 2);
  CipherKey key;
  if (cipher) {
    HeapText text(args.Text(2));
    if (!key.Prepare(text.get(), flags)) return outcome.Deliver(result);
  }
  FilePair files(source.get(), destination.get());
  if (!files.Open()) {
    outcome.Fail(files.Error());
    return outcome.Deliver(result);
  }
  bool ok = false;
  switch (id) {
    case kEncryptFile:
      ok = Encrypt(files, key);
      break;
    case kDecryptFile:
      ok = Decrypt(files, key);
      break;
    case kConvertFileToBase64:
      ok = ToBase64(files, flags & int32_t(Base64::kEncodeLineBreaks));
      break;
    default:
      ok = FromBase64(files);
      break;
  }
  if (ok) outcome.Succeed();
  return outcome.Deliver(result);
}

}  // namespace

HRESULT InvokeCipherFunction(DISPID id, const Arguments& args, VARIANT* result) {
  switch (id) {
    case kEncryptFile:
    case kDecryptFile:
    case kConvertFileToBase64:
    case kConvertFileFromBase64:
      return ConvertFile(id, args, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqfiles
