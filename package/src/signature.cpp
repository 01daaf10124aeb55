// The signature resource: reading it, the start-up check, and signing.
#include "package/signature.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/blowfish.h"
#include "foundation/builtin_key.h"
#include "foundation/heap.h"
#include "package/application_settings.h"
#include "package/cipher_keys.h"
#include "package/file_retry.h"
#include "package/package_log.h"
#include "package/paths.h"
#include "package/served_text.h"
#include "package/vfs.h"

namespace {

bool g_signed = false;
bool g_naked = false;
KESTOSignatureData g_signatureData;
DWORD g_retryPause = 1000;
constexpr int kSignatureAttempts = 5;

// A key text that wipes itself.
struct KeyText {
  char text[kCipherKeyBufferSize] = {};
  ~KeyText() { SecureZeroMemory(text, sizeof(text)); }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(text); }
  size_t Length() const { return strnlen(text, kBlowfishMaxKeyBytes); }
};

void BuiltInKey(KeyText* key) { GetBuiltInCipherKey(key->text, true); }
// The MD5 text of the descriptor's password, or the built-in key (without
// force) when it is empty.
void PayloadKey(const KESTOSignatureDescriptor& descriptor, KeyText* key) {
  char password[sizeof(descriptor.data.packagePassword) + 1] = {};
  std::memcpy(password, descriptor.data.packagePassword, sizeof(descriptor.data.packagePassword));
  DerivePackageKey(password, key->text);
  SecureZeroMemory(password, sizeof(password));
}

bool Cipher(const KeyText& key, uint8_t* bytes, size_t length, bool encipher) {
  return encipher ? BlowfishEncryptBuffer(key.Bytes(), key.Length(), bytes, length, bytes, kBlowfishCBC)
                  : BlowfishDecryptBuffer(key.Bytes(), key.Length(), bytes, length, bytes, kBlowfishCBC);
}

bool TextRegionIsText(const KESTOSignatureData& data) {
  return PackageCustomFieldIsText(reinterpret_cast<const uint8_t*>(data.loaderPath), sizeof(data.loaderPath));
}

// The payload of a signature resource, deciphered and unpadded. Every
// length is checked against the resource: false when it does not fit.
bool ReadPayload(const uint8_t* resource, DWORD size, const KESTOSignatureDescriptor& descriptor,
                 const KeyText& key, std::vector<uint8_t>* payload) {
  const uint64_t gap = (descriptor.flags & kSignatureFlagGap) ? kSignatureGapSize : 0;
  const uint64_t length = descriptor.payloadLength;
  if (length == 0 || length % kBlowfishBlockBytes != 0 || length + gap + kSignatureDescriptorSize > size) return false;
  const uint8_t* start = resource + (size - (length + gap + kSignatureDescriptorSize));
  payload->assign(start, start + length);
  if ((descriptor.flags & kSignatureFlagEnciphered) && !Cipher(key, payload->data(), payload->size(), false))
    return false;
  const uint8_t padding = payload->back();
  if (padding < 1 || padding > kBlowfishBlockBytes || padding > payload->size()) return false;
  payload->resize(payload->size() - padding);
  return true;
}

// A package object over a payload image; null when it is no whole package
// or does not check with the object's key.
ZEQPackageDATA* PackageFromPayload(const std::vector<uint8_t>& payload, const char* path, const char* password,
                                   uint32_t keyFlags) {
  if (payload.size() < kPackageHeaderSize) return nullptr;
  ZEQPackageDATA* package = ZEQPackageNew(0, 0);
  SetPackageKey(package->key, password, keyFlags);
  lstrcpynA(package->path, path, sizeof(package->path));
  std::memcpy(&package->header, payload.data(), kPackageHeaderSize);
  if (!ZEQPackageCheckHeader(package, package->key) ||
      !ZEQPackagePrepareContents(package, INVALID_HANDLE_VALUE, uint32_t(payload.size() - kPackageHeaderSize),
                                 payload.data() + kPackageHeaderSize, package->header.Flags)) {
    ZEQPackageRelease(package);
    return nullptr;
  }
  return package;
}

std::string RunningModulePath() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  CharLowerA(path);
  return path;
}

struct DescriptorHolder {
  KESTOSignatureDescriptor* d = KESTOSignatureDescriptorCreate();
  ~DescriptorHolder() { KESTOSignatureDescriptorFree(d); }
};

}  // namespace

KESTOSignatureDescriptor* KESTOSignatureDescriptorCreate() {
  auto* descriptor = static_cast<KESTOSignatureDescriptor*>(HeapAllocZ(sizeof(KESTOSignatureDescriptor)));
  std::memcpy(descriptor->identity, kSignatureIdentity, sizeof(kSignatureIdentity));
  return descriptor;
}

void KESTOSignatureDescriptorWipe(KESTOSignatureDescriptor* descriptor) {
  if (!descriptor) return;
  SecureZeroMemory(descriptor->data.packagePassword, sizeof(descriptor->data.packagePassword));
  descriptor->data.reserved[0] = 0;
}

void KESTOSignatureDescriptorFree(KESTOSignatureDescriptor* descriptor) {
  if (!descriptor) return;
  KESTOSignatureDescriptorWipe(descriptor);
  HeapFreeSecure(descriptor, sizeof(*descriptor), true);
}

DWORD SetSignatureRetryPause(DWORD ms) {
  const DWORD old = g_retryPause;
  g_retryPause = ms;
  return old;
}

DWORD GetSignatureRetryPause() { return g_retryPause; }

bool KESTOGetSignature(const char* modulePath, KESTOSignatureDescriptor* descriptor, uint8_t** resource,
                       DWORD* resourceSize) {
  if (resource) *resource = nullptr;
  if (resourceSize) *resourceSize = 0;
  if (!modulePath || !descriptor) return false;
  HMODULE module = LoadLibraryExA(SkipVirtualPrefix(modulePath), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    PackageLogPrintf("KESTOGetSignature: Unable to Open \"%s\"", modulePath);
    return false;
  }
  bool ok = false;
  HRSRC found = FindResourceA(module, kSignatureResourceName, kSignatureResourceType);
  const DWORD size = found ? SizeofResource(module, found) : 0;
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (bytes && size >= kSignatureDescriptorSize) {
    std::memcpy(descriptor, bytes + size - kSignatureDescriptorSize, kSignatureDescriptorSize);
    if (std::memcmp(descriptor->identity, kSignatureIdentity, sizeof(kSignatureIdentity)) != 0) {
      PackageLogPrintf("KESTOGetSignature: Signature not found \"%s\"", modulePath);
    } else {
      KeyText key;
      BuiltInKey(&key);
      ok = Cipher(key, reinterpret_cast<uint8_t*>(&descriptor->data), sizeof(descriptor->data), false);
      if (ok && resource) {
        *resource = static_cast<uint8_t*>(HeapAllocZ(size_t(size) + 1));
        std::memcpy(*resource, bytes, size);
        if (resourceSize) *resourceSize = size;
      }
    }
  }
  FreeLibrary(module);
  return ok;
}

ZEQPackageDATA* KESTOGetEmbededPackage(const char* executablePath, const char* password) {
  DescriptorHolder descriptor;
  uint8_t* resource = nullptr;
  DWORD size = 0;
  ZEQPackageDATA* package = nullptr;
  try {
    if (KESTOGetSignature(executablePath, descriptor.d, &resource, &size)) {
      if (!TextRegionIsText(descriptor.d->data)) {
        PackageLogPrintf("KESTOGetEmbededPackage - KESTOCheckSignature: Invalid password");
      } else if (descriptor.d->kind == kSignatureKindAttached &&
                 descriptor.d->payloadType == kSignaturePayloadPackage) {
        KeyText key;
        SetPackageKey(key.text, password, 0);
        std::vector<uint8_t> payload;
        if (ReadPayload(resource, size, *descriptor.d, key, &payload))
          package = PackageFromPayload(payload, executablePath, password, 0);
        SecureZeroMemory(payload.data(), payload.size());
      }
    }
  } catch (...) {
    PackageLogPrintf("!KESTOGetEmbededPackage: Unexpected exception...");
    ZEQPackageRelease(package);
    package = nullptr;
  }
  if (resource) HeapFreeSecure(resource, size, true);
  return package;
}

void KESTOSetNakedStart(bool naked) { g_naked = naked; }
bool KESTOIsSigned() { return g_signed; }
KESTOSignatureData* KESTOGetSignatureData() { return &g_signatureData; }
void KESTOWipeSignatureData() { g_signatureData.reserved[0] = 0; }

bool KESTOCheckSignature() {
  const std::string self = RunningModulePath();
  PackageLogPrintf("KESTOCheckSignature: Check Signature for \"%s\"", self.c_str());
  DescriptorHolder descriptor;
  uint8_t* resource = nullptr;
  DWORD size = 0;
  bool ok = false;
  try {
    if (g_naked) {
      if (!KESTOGetSignature(self.c_str(), descriptor.d, nullptr, nullptr)) {
        ok = true;
      } else if (TextRegionIsText(descriptor.d->data)) {
        g_signatureData = descriptor.d->data;
        g_signed = true;
        lstrcpynA(g_signatureData.loaderPath, "%1", sizeof(g_signatureData.loaderPath));
        ok = true;
      } else {
        PackageLogPrintf("KESTOCheckSignature: Invalid password");
      }
    } else if (!KESTOGetSignature(self.c_str(), descriptor.d, &resource, &size)) {
      ok = true;
    } else {
      KeyText key;
      PayloadKey(*descriptor.d, &key);
      const KESTOSignatureDescriptor& d = *descriptor.d;
      if (!TextRegionIsText(d.data)) {
        PackageLogPrintf("KESTOCheckSignature: Invalid password");
      } else if (d.kind == kSignatureKindExternalLoader) {
        g_signatureData = d.data;
        PackageLogPrintf("KESTOCheckSignature: Signed for External Loader \"%s\"", g_signatureData.loaderPath);
        g_signed = ok = true;
      } else if (d.kind != kSignatureKindAttached) {
        PackageLogPrintf("KESTOCheckSignature: Signed for unknown type");
      } else if (d.payloadType == kSignaturePayloadPackage) {
        g_signatureData = d.data;
        PackageLogPrintf("KESTOCheckSignature: Signed for External Packager");
        std::vector<uint8_t> payload;
        ZEQPackageDATA* package = nullptr;
        if (ReadPayload(resource, size, d, key, &payload)) package = PackageFromPayload(payload, self.c_str(), "", 0);
        SecureZeroMemory(payload.data(), payload.size());
        if (package) {
          ZEQSetApplicationPackage(package);
          PackageLogPrintf("KESTOCheckSignature: Signed for External packager \"%s\"", g_signatureData.loaderPath);
          g_signed = ok = true;
        }
      } else if (d.payloadType == kSignaturePayloadScript || d.payloadType == kSignaturePayloadPage) {
        g_signatureData = d.data;
        PackageLogPrintf("KESTOCheckSignature: Signed for Internal Loader type %d", 2);
        std::vector<uint8_t> payload;
        if (ReadPayload(resource, size, d, key, &payload)) {
          std::string page(payload.begin(), payload.end());
          if (d.payloadType == kSignaturePayloadScript) {
            size_t length = page.size();
            char* text = static_cast<char*>(HeapAllocZ(length + 1));
            std::memcpy(text, page.data(), length);
            WrapInLoaderBlock(&text, &length);
            const std::string script(text, length);
            HeapFreeSecure(text, 0, true);
            const ApplicationSettings* settings = GetApplicationSettings();
            char head[1024];
            wsprintfA(head,
                      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<html><ZEQ:Initialize "
                      "/>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" "
                      "content=\"text/html;charset=UTF-8\">\r\n<title>%s</title>\r\n</head><body "
                      "onload=\"window.external.KESTOExit( 0 );\">\r\n",
                      settings ? settings->name : "");
            page = std::string(head) + "<script language=\"javascript\" type=\"text/javascript\">\r\n\r\n" + script +
                   "\r\n\r\n</script>" + "</body></html>";
          }
          char address[MAX_PATH + 1] = {};
          MakeLoaderMediaPath(page.c_str(), address, "html", sizeof(address));
          lstrcpynA(g_signatureData.loaderPath, address, sizeof(g_signatureData.loaderPath));
          g_signed = ok = true;
        }
      }
    }
  } catch (...) {
    PackageLogPrintf("!KESTOCheckSignature: Unexpected exception...");
    ok = false;
  }
  if (resource) HeapFreeSecure(resource, size, true);
  if (!ok) PackageLogPrintf("KESTOCheckSignature: [FAILED] - ErrorCode: %d", int(GetLastError()));
  return ok;
}

namespace {

// One attempt of a resource write: through the given handle (staged only)
// or a handle opened and ended here.
template <typename Write>
bool UpdateAttempts(const char* function, const char* path, HANDLE update, Write write) {
  for (int attempt = 1; attempt <= kSignatureAttempts; ++attempt) {
    if (attempt > 1) Sleep(g_retryPause);
    HANDLE handle = update ? update : BeginUpdateResourceA(SkipVirtualPrefix(path), FALSE);
    bool ok = false;
    if (!handle) {
      PackageLogPrintf("%s: BeginUpdateResource - Error: %d, KESTO: \"%s\"", function, int(GetLastError()), path);
    } else if (!write(handle)) {
      PackageLogPrintf("%s: UpdateResource - Error: %d, KESTO: \"%s\"", function, int(GetLastError()), path);
      if (!update) EndUpdateResourceA(handle, TRUE);
    } else if (!update && !EndUpdateResourceExt(handle)) {
      PackageLogPrintf("%s: EndUpdateResource - Error: %d, KESTO: \"%s\"", function, int(GetLastError()), path);
    } else {
      ok = true;
    }
    if (ok) return true;
    PackageLogPrintf("%s: Failed - Retrying in %d ms", function, 1000);
  }
  return false;
}

}  // namespace

bool KESTODropSignature(const char* path, HANDLE update) {
  return UpdateAttempts("KESTODropSignature", path, update, [](HANDLE handle) {
    return UpdateResourceA(handle, kSignatureResourceType, kSignatureResourceName, 0,
                           const_cast<char*>(kDroppedSignature), DWORD(sizeof(kDroppedSignature) - 1)) != FALSE;
  });
}

bool KESTOAddSignature(const char* path, HANDLE update, const void* data, DWORD size) {
  KESTODropSignature(path, update);
  return UpdateAttempts("KESTOAddSignature", path, update, [&](HANDLE handle) {
    return UpdateResourceA(handle, kSignatureResourceType, kSignatureResourceName, 0, const_cast<void*>(data),
                           size) != FALSE;
  });
}

bool KESTOSign(const char* targetPath, HANDLE update, const KESTOSignatureDescriptor* given,
               const void* attachment, DWORD attachmentLength, uint32_t mode) {
  if (!targetPath) return false;
  try {
    if ((mode & kSignCopyContainer) && !CopyFileExt(RunningModulePath().c_str(), targetPath)) {
      PackageLogPrintf("KESTOSign: AutoCopy failed - \"%s\"", targetPath);
      return false;
    }
    DescriptorHolder descriptor;
    if (mode & kSignInheritDescriptor) {
      if (!KESTOGetSignature(targetPath, descriptor.d, nullptr, nullptr)) {
        PackageLogPrintf("KESTOSign: Inherit Signature failed - \"%s\"", targetPath);
        return false;
      }
      descriptor.d->kind = descriptor.d->payloadLength = descriptor.d->payloadType = 0;
    } else if (given) {
      *descriptor.d = *given;
    } else {
      PackageLogPrintf("KESTOSign: Invalid descriptor - \"%s\"", targetPath);
      return false;
    }
    KESTOSignatureDescriptor& d = *descriptor.d;
    KeyText key;
    PayloadKey(d, &key);
    if (!KESTOChangeVersion(targetPath, &d.data.versionData, update)) {
      PackageLogPrintf("KESTOSign: Change Version failed - \"%s\"", targetPath);
      return false;
    }
    std::vector<uint8_t> payload;
    const char* attachmentName = attachmentLength ? "" : static_cast<const char*>(attachment);
    if (attachment && (attachmentLength || *attachmentName)) {
      if (attachmentLength) {
        payload.assign(static_cast<const uint8_t*>(attachment), static_cast<const uint8_t*>(attachment) + attachmentLength);
      } else {
        void* bytes = nullptr;
        DWORD size = 0;
        if (!ReadWholeFileExt(attachmentName, &bytes, &size)) {
          PackageLogPrintf("KESTOSign: Attach file Open failed - \"%s\", \"%s\"", targetPath, attachmentName);
          return false;
        }
        payload.assign(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
        HeapFreeSecure(bytes, size, true);
      }
      ZEQPackageHeader header = {};
      if (payload.size() >= kPackageHeaderSize) std::memcpy(&header, payload.data(), kPackageHeaderSize);
      if (payload.size() >= kPackageHeaderSize && PackageHeaderHasMagic(header)) {
        d.payloadType = kSignaturePayloadPackage;
        if (header.Flags & ZEQPKG_ENCRYPT) d.flags &= ~kSignatureFlagEnciphered;
      } else {
        const char* dot = std::strrchr(attachmentName, '.');
        const std::string extension = dot ? dot + 1 : "";
        if (!lstrcmpiA(extension.c_str(), "js") || !lstrcmpiA(extension.c_str(), "zeq")) {
          d.payloadType = kSignaturePayloadScript;
        } else if (!lstrcmpiA(extension.c_str(), "htm") || !lstrcmpiA(extension.c_str(), "html")) {
          d.payloadType = kSignaturePayloadPage;
        } else {
          PackageLogPrintf("KESTOSign: Type is invalid - \"%s\", \"%s\"", targetPath, attachmentName);
          return false;
        }
      }
      const uint8_t padding = uint8_t(kBlowfishBlockBytes - payload.size() % kBlowfishBlockBytes);
      payload.insert(payload.end(), padding, padding);
      if ((d.flags & kSignatureFlagEnciphered) && !Cipher(key, payload.data(), payload.size(), true)) return false;
      d.kind += 1;
      d.payloadLength += uint32_t(payload.size());
    }
    std::vector<uint8_t> gap(kSignatureGapSize, 0);
    std::memcpy(gap.data(), kSignatureIdentity, sizeof(kSignatureIdentity));
    if (!Cipher(key, gap.data(), kSignatureGapSize - 1, true)) return false;
    d.flags |= kSignatureFlagGap;
    KeyText builtIn;
    BuiltInKey(&builtIn);
    if (!Cipher(builtIn, reinterpret_cast<uint8_t*>(&d.data), sizeof(d.data), true)) return false;
    std::vector<uint8_t> resource;
    resource.reserve(payload.size() + kSignatureGapSize + kSignatureDescriptorSize);
    resource.insert(resource.end(), payload.begin(), payload.end());
    resource.insert(resource.end(), gap.begin(), gap.end());
    const auto* raw = reinterpret_cast<const uint8_t*>(&d);
    resource.insert(resource.end(), raw, raw + kSignatureDescriptorSize);
    SecureZeroMemory(&d, sizeof(d));
    return KESTOAddSignature(targetPath, update, resource.data(), DWORD(resource.size()));
  } catch (...) {
    PackageLogPrintf("!KESTOSign: Unexpected exception...");
    return false;
  }
}
