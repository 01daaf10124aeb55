// Packages inside executables: the signature resource ("ZEQSIGNATURE",
// "IDR_KESTOBASE", language neutral) that carries an application's package,
// loader script or page and its descriptor, the start-up check of the
// running executable, and the signer that makes such an executable through
// the platform's resource update calls.
//
// Resource bytes: payload (padded to whole blocks, every padding byte its
// count), the 65537-byte gap when flag 0x1 is set, then the descriptor.
// Every length read from a resource is checked against the bytes present.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "package/package.h"

constexpr char kSignatureResourceType[] = "ZEQSIGNATURE";
constexpr char kSignatureResourceName[] = "IDR_KESTOBASE";
constexpr char kSignatureIdentity[] = "KESTO.{3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9}";
constexpr char kDroppedSignature[] = "<{3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9}>";
constexpr size_t kSignatureDescriptorSize = 16552;
constexpr size_t kSignatureGapSize = 65537;
constexpr size_t kSignatureProtectedSize = 16488;
constexpr size_t kSignatureTextRegionSize = 4096;
constexpr size_t kSignatureVersionFieldSize = 260;

// Descriptor kinds, payload types and flags.
constexpr uint32_t kSignatureKindExternalLoader = 0;
constexpr uint32_t kSignatureKindAttached = 1;
constexpr uint32_t kSignaturePayloadPackage = 1;
constexpr uint32_t kSignaturePayloadScript = 2;
constexpr uint32_t kSignaturePayloadPage = 3;
constexpr uint32_t kSignatureFlagGap = 0x1;
constexpr uint32_t kSignatureFlagEnciphered = 0x2;

// The texts a signed executable's version resource receives. version is
// "x.x.x.x" (empty: the numbers are kept); the others replace the string
// values of the same names ("" for StartArguments keeps it).
struct KESTOVersionData {
  char version[64];
  char companyName[kSignatureVersionFieldSize];
  char companyDescription[kSignatureVersionFieldSize];
  char productName[kSignatureVersionFieldSize];
  char productVersion[kSignatureVersionFieldSize];
  char fileVersion[kSignatureVersionFieldSize];
  char fileDescription[kSignatureVersionFieldSize];
  char startArguments[kSignatureVersionFieldSize];
  char legalCopyright[kSignatureVersionFieldSize];
  char legalTrademarks[kSignatureVersionFieldSize];
};

#pragma pack(push, 1)
// The protected region (enciphered as a whole with the built-in key).
struct KESTOSignatureData {
  uint32_t reserved[4];
  char loaderPath[kSignatureTextRegionSize];  // descriptor offset 80
  KESTOVersionData versionData;
  char packagePassword[68];
  uint8_t unused[kSignatureProtectedSize - 16 - kSignatureTextRegionSize - sizeof(KESTOVersionData) - 68];
};
struct KESTOSignatureDescriptor {
  char identity[48];
  uint32_t kind;
  uint32_t payloadLength;
  uint32_t payloadType;
  uint32_t flags;
  KESTOSignatureData data;
};
#pragma pack(pop)
static_assert(sizeof(KESTOSignatureData) == kSignatureProtectedSize, "protected region size");
static_assert(sizeof(KESTOSignatureDescriptor) == kSignatureDescriptorSize, "descriptor size");
static_assert(offsetof(KESTOSignatureDescriptor, data.loaderPath) == 80, "text region offset");

// A zeroed descriptor holding the identity text (heap; never null: out of
// memory throws as every allocation does).
KESTOSignatureDescriptor* KESTOSignatureDescriptorCreate();
// Overwrites the package password field and the first word of the
// protected region.
void KESTOSignatureDescriptorWipe(KESTOSignatureDescriptor* descriptor);
// Wipes, then frees (null: nothing).
void KESTOSignatureDescriptorFree(KESTOSignatureDescriptor* descriptor);

// Reads the signature of a module: its descriptor (protected region
// deciphered) and, when asked, a heap copy of the resource (one spare zero
// byte; HeapFreeZ) and its size.
bool KESTOGetSignature(const char* modulePath, KESTOSignatureDescriptor* descriptor, uint8_t** resource,
                       DWORD* resourceSize);
// The package object carried by an executable, opened with the password;
// null when there is none or it does not check.
ZEQPackageDATA* KESTOGetEmbededPackage(const char* executablePath, const char* password);

// The start-up check of the running executable. True when the start may go
// on: unsigned, signed for an external loader, or its payload opened (a
// package becomes the current application package, still to be mounted).
bool KESTOCheckSignature();
// Start-up option "naked": only the descriptor is read.
void KESTOSetNakedStart(bool naked);
// The signature state written by the check.
bool KESTOIsSigned();
KESTOSignatureData* KESTOGetSignatureData();
// Exit step: the first word of the signature data is cleared.
void KESTOWipeSignatureData();

// Signing. Mode bits: copy the running module to the target first; inherit
// the descriptor from the target.
constexpr uint32_t kSignCopyContainer = 0x1;
constexpr uint32_t kSignInheritDescriptor = 0x2;
// attachment: with attachmentLength 0 a file path (package, .js/.zeq script
// or .htm/.html page); otherwise the bytes of a package. update: an open
// resource update handle (the caller ends it) or null.
bool KESTOSign(const char* targetPath, HANDLE update, const KESTOSignatureDescriptor* descriptor,
               const void* attachment, DWORD attachmentLength, uint32_t mode);
bool KESTOAddSignature(const char* path, HANDLE update, const void* data, DWORD size);
bool KESTODropSignature(const char* path, HANDLE update);
bool KESTOChangeVersion(const char* path, const KESTOVersionData* versionData, HANDLE update);

// Pause between the 5 attempts of the resource writers (1000 ms); returns
// the previous value. Lets tests run the refusals quickly.
DWORD SetSignatureRetryPause(DWORD ms);
DWORD GetSignatureRetryPause();
