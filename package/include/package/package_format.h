// Byte layout of a package file: the 176-byte header, the entries of a
// multiple-entry content stream and the enciphered Custom field. Pure logic:
// no platform calls beyond the foundation's heap.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kPackageHeaderSize = 176;
constexpr size_t kPackageTextField = 64;
constexpr char kPackageMagic[] = "ZEQPACKAGE";

constexpr uint32_t ZEQPKG_TYPE_SINGLE = 0;
constexpr uint32_t ZEQPKG_TYPE_MULTIPLE = 1;
constexpr uint32_t ZEQPKG_TAGGED = 0x8;
constexpr uint32_t ZEQPKG_UNUSED_BIT = 0x10;
constexpr uint32_t ZEQPKG_ENSUREZEQRULES = 0x20000000;
constexpr uint32_t ZEQPKG_FILE_BACKED = 0x40000000;

constexpr char ZEQPKG_CONTENT_TYPE_FOLDER = '0';
constexpr char ZEQPKG_CONTENT_TYPE_FILE = '1';

constexpr uint32_t kPackageVersion = 3;
constexpr uint32_t kPackageRelease = 7;
constexpr uint32_t kPackageBuild = 121;

// Entry walk results (shared with extraction).
constexpr int ZEQPKG_EXTRACT_ERROR_NONE = 0;
constexpr int ZEQPKG_EXTRACT_ERROR_OPENTAG = 1;
constexpr int ZEQPKG_EXTRACT_ERROR_CLOSETAG = 2;
constexpr int ZEQPKG_EXTRACT_ERROR_RELATIVEPATH = 3;
constexpr int ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH = 6;
constexpr int ZEQPKG_EXTRACT_ERROR_SKIPDATA = 10;

#pragma pack(push, 1)
struct ZEQPackageHeader {
  char Magic[11];
  char UUID[kPackageTextField];
  char Custom[kPackageTextField];
  uint8_t Reserved[5];
  uint32_t Version;
  uint32_t Release;
  uint32_t Build;
  uint32_t Type;
  uint32_t Flags;
  uint32_t FilesCount;
  double FilesSize;
};
#pragma pack(pop)
static_assert(sizeof(ZEQPackageHeader) == kPackageHeaderSize, "the header is 176 bytes on disk");

// The four tags of a tagged entry.
extern const char kPackageOpenTag[4];       // "//{"
extern const char kPackageDataOpenTag[4];   // "//("
extern const char kPackageDataCloseTag[4];  // ")//"
extern const char kPackageCloseTag[4];      // "}//"

// True when the magic reads "ZEQPACKAGE" as a NUL-terminated text.
bool PackageHeaderHasMagic(const ZEQPackageHeader& header);

// The flags a closed file stores: low 16 bits, 0x10 clear, 0x8 clear for a
// single-content package.
uint32_t PackageStoredFlags(uint32_t flags, uint32_t type);

// The one rule for Custom texts: every byte at most 0x7F or one of the
// Latin-1 signs and Portuguese letters. Used by the password test on the
// deciphered field and by the setter, so an accepted text always reopens.
bool PackageCustomByteAllowed(uint8_t byte);
bool PackageCustomFieldIsText(const uint8_t* field, size_t length);
// A text the setter accepts: at most 64 bytes, each allowed.
bool PackageCustomTextAcceptable(const char* text);
// A path with the extension "exe": its package lives in a resource of the
// executable, never in the file's bytes.
bool PackagePathIsExecutable(const char* path);

// Enciphers/deciphers the 64-byte Custom field in place (Blowfish CBC, zero
// initial block, no length prefix). False when the key cannot be used.
bool PackageEncipherCustom(char* field, const char* key);
bool PackageDecipherCustom(char* field, const char* key);

// The file-name part of a file entry's path (after the last backslash,
// before the first directive) holds none of \ / : * ? " < > |. An empty
// path is refused.
bool PackagePathIsValidFileEntry(const char* path, size_t length);

// One entry as read from a content stream held in memory.
struct PackageEntryView {
  char type;              // '0', '1' or another character
  const char* path;       // path text (after the type character), not NUL-terminated
  uint32_t pathLength;
  const uint8_t* data;    // file entries only
  uint32_t dataLength;
  bool dataLengthRead;    // a file entry's data length field was present
  size_t start;           // offset of the entry in the stream
  size_t end;             // offset just after it
};

// Reads the entry at *offset of a content stream of `length` bytes. Every
// length is checked against the bytes present. Returns 0 with *more set when
// an entry was read (and *offset advanced), 0 with *more clear at the normal
// end of the stream, or the walk error of the step that failed.
int PackageReadEntry(const uint8_t* stream, size_t length, size_t* offset, bool tagged,
                     PackageEntryView* entry, bool* more);

// Normalises a path text as readers see it: a leading '/' becomes '\', and a
// '\' is put in front when missing. Returns a new heap text (HeapFreeZ).
char* PackageNormaliseEntryPath(const char* path, size_t length);
