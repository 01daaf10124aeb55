// The package header and entry reader on any bytes. The first 176 bytes
// are read as a header (magic, stored flags, the Custom field deciphered
// and tested as text); the whole input is walked as a content stream, tagged
// and untagged. Every entry must lie inside the stream, each step must move
// forward, and a path is normalised and checked like the readers do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "package/package_format.h"

namespace {

void Walk(const uint8_t* data, size_t size, bool tagged) {
  size_t offset = 0;
  for (;;) {
    PackageEntryView entry;
    bool more = false;
    const size_t before = offset;
    const int error = PackageReadEntry(data, size, &offset, tagged, &entry, &more);
    if (error != ZEQPKG_EXTRACT_ERROR_NONE || !more) {
      if (offset != before) abort();  // a failed step leaves the offset alone
      return;
    }
    if (offset <= before || offset > size || entry.start != before || entry.end != offset) abort();
    const auto* path = reinterpret_cast<const uint8_t*>(entry.path);
    if (path < data + entry.start || path + entry.pathLength > data + entry.end) abort();
    if (entry.data && (entry.data < path + entry.pathLength || entry.data + entry.dataLength > data + entry.end))
      abort();
    char* normal = PackageNormaliseEntryPath(entry.path, entry.pathLength);
    if (normal[0] != '\\' || std::strlen(normal) > size_t(entry.pathLength) + 1) {
      // A path holding a NUL reads shorter, never longer.
      abort();
    }
    PackagePathIsValidFileEntry(entry.path, entry.pathLength);
    HeapFreeZ(normal);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= kPackageHeaderSize) {
    ZEQPackageHeader header;
    std::memcpy(&header, data, sizeof(header));
    PackageHeaderHasMagic(header);
    const uint32_t stored = PackageStoredFlags(header.Flags, header.Type);
    if (stored & ~0xFFFFu || stored & ZEQPKG_UNUSED_BIT) abort();
    char custom[kPackageTextField];
    std::memcpy(custom, header.Custom, sizeof(custom));
    if (PackageDecipherCustom(custom, "pw")) {
      PackageCustomFieldIsText(reinterpret_cast<const uint8_t*>(custom), sizeof(custom));
      // Enciphering again gives the stored field back.
      if (!PackageEncipherCustom(custom, "pw") || std::memcmp(custom, header.Custom, sizeof(custom)) != 0)
        abort();
    }
    Walk(data + kPackageHeaderSize, size - kPackageHeaderSize, (header.Flags & ZEQPKG_TAGGED) != 0);
  }
  Walk(data, size, true);
  Walk(data, size, false);
  return 0;
}
