// Packed DIBs read from memory, with every size checked before use.
#include "windows/dib.h"

#include <cstring>

namespace {

constexpr DWORD kCoreHeaderSize = sizeof(BITMAPCOREHEADER);  // 12
constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER);  // 40
constexpr DWORD kLargestHeaderSize = sizeof(BITMAPV5HEADER); // 124
constexpr uint64_t kLargestImage = 0x7FFFFFFF;

bool IsCore(const BITMAPINFOHEADER* header) { return header->biSize == kCoreHeaderSize; }

WORD BitCount(const BITMAPINFOHEADER* header) {
  return IsCore(header) ? reinterpret_cast<const BITMAPCOREHEADER*>(header)->bcBitCount : header->biBitCount;
}

bool KnownHeaderSize(DWORD size) {
  return size == kCoreHeaderSize || (size >= kInfoHeaderSize && size <= kLargestHeaderSize);
}

bool KnownBitCount(WORD bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of the pixel rows (each padded to 32 bits); false when the
// dimensions are not positive or the size does not fit.
bool ImageBytes(int64_t width, int64_t height, WORD bits, uint64_t* bytes) {
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || !KnownBitCount(bits)) return false;
  const uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  if (stride > kLargestImage / static_cast<uint64_t>(height)) return false;
  *bytes = stride * static_cast<uint64_t>(height);
  return *bytes <= kLargestImage;
}

bool HeaderImageBytes(const BITMAPINFOHEADER* header, uint64_t* bytes) {
  if (IsCore(header)) {
    auto core = reinterpret_cast<const BITMAPCOREHEADER*>(header);
    return ImageBytes(core->bcWidth, core->bcHeight, core->bcBitCount, bytes);
  }
  return ImageBytes(header->biWidth, header->biHeight, header->biBitCount, bytes);
}

}  // namespace

uint32_t DibColorCount(const BITMAPINFOHEADER* header) {
  if (!header) return 0;
  const WORD bits = BitCount(header);
  if (!IsCore(header) && header->biClrUsed != 0) return header->biClrUsed;
  return bits <= 8 ? (1u << bits) : 0;
}

uint32_t DibColorTableBytes(const BITMAPINFOHEADER* header) {
  if (!header) return 0;
  const uint32_t entries = DibColorCount(header);
  if (IsCore(header)) return entries * sizeof(RGBTRIPLE);
  if (header->biCompression == BI_BITFIELDS) return 3 * sizeof(DWORD) + entries * sizeof(RGBQUAD);
  return entries * sizeof(RGBQUAD);
}

int DibReadHeader(BITMAPINFOHEADER* header, HGLOBAL block) {
  if (!header || !block) return 0;
  std::memset(header, 0, sizeof *header);
  const SIZE_T available = GlobalSize(block);
  if (available < sizeof(DWORD)) return 0;
  auto bytes = static_cast<const uint8_t*>(GlobalLock(block));
  if (!bytes) return 0;
  DWORD size;
  std::memcpy(&size, bytes, sizeof size);
  int result = 0;
  if (KnownHeaderSize(size) && available >= size) {
    // A core header is 12 bytes: only those are copied.
    std::memcpy(header, bytes, size < kInfoHeaderSize ? size : kInfoHeaderSize);
    uint64_t image = 0;
    if (HeaderImageBytes(header, &image) && (IsCore(header) || header->biClrUsed <= 0x10000)) {
      if (!IsCore(header)) {
        if (header->biSizeImage == 0) header->biSizeImage = static_cast<DWORD>(image);
        if (header->biClrUsed == 0) header->biClrUsed = DibColorCount(header);
      }
      result = 1;
    }
  }
  GlobalUnlock(block);
  if (!result) std::memset(header, 0, sizeof *header);
  return result;
}

size_t MemoryStreamRead(ZEQMemoryStream* stream, void* destination, size_t count) {
  if (!stream || !destination || stream->position > stream->size) return 0;
  if (stream->size - stream->position < count) return 0;
  std::memcpy(destination, stream->data + stream->position, count);
  stream->position += count;
  return count;
}

HGLOBAL LoadPackedDib(ZEQMemoryStream* stream) {
  DWORD headerSize = 0;
  if (!stream) return nullptr;
  const size_t start = stream->position;
  if (!MemoryStreamRead(stream, &headerSize, sizeof headerSize) || !KnownHeaderSize(headerSize)) {
    stream->position = start;
    return nullptr;
  }
  stream->position = start;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, headerSize);
  if (!block) return nullptr;
  void* target = GlobalLock(block);
  const bool read = target && MemoryStreamRead(stream, target, headerSize) == headerSize;
  if (target) GlobalUnlock(block);
  BITMAPINFOHEADER header;
  uint64_t image = 0;
  if (!read || !DibReadHeader(&header, block) || !HeaderImageBytes(&header, &image)) {
    GlobalFree(block);
    stream->position = start;
    return nullptr;
  }
  const uint64_t rest = static_cast<uint64_t>(DibColorTableBytes(&header)) + image;
  if (rest > kLargestImage || stream->size - stream->position < rest) {
    GlobalFree(block);
    stream->position = start;
    return nullptr;
  }
  HGLOBAL grown = GlobalReAlloc(block, headerSize + static_cast<SIZE_T>(rest), GMEM_MOVEABLE | GMEM_ZEROINIT);
  if (!grown) {
    GlobalFree(block);
    return nullptr;
  }
  auto bytes = static_cast<uint8_t*>(GlobalLock(grown));
  if (!bytes) {
    GlobalFree(grown);
    return nullptr;
  }
  MemoryStreamRead(stream, bytes + headerSize, static_cast<size_t>(rest));
  GlobalUnlock(grown);
  return grown;
}
