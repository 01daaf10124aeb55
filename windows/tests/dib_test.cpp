// Packed DIB headers read from memory blocks: sizes filled in, and headers
// that lie about their size or dimensions refused before anything is
// allocated or copied.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "windows/dib.h"

namespace {

HGLOBAL BlockOf(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(block), bytes, size);
  GlobalUnlock(block);
  return block;
}

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bits;
  return header;
}

TEST(DibHeaders, MissingSizesAreFilledFromTheDimensions) {
  struct Case {
    const char* name;
    LONG width, height;
    WORD bits;
    DWORD sizeImage, clrUsed;
  } cases[] = {
      {"24-bit 3x2 rows padded to 12 bytes", 3, 2, 24, 24, 0},
      {"8-bit 5x3 with a full palette", 5, 3, 8, 24, 256},
      {"1-bit 33x1 needs two words a row", 33, 1, 1, 8, 2},
      {"32-bit top-down 2x-4", 2, -4, 32, 32, 0},
  };
  for (const Case& c : cases) {
    BITMAPINFOHEADER source = Header(c.width, c.height, c.bits);
    HGLOBAL block = BlockOf(&source, sizeof source);
    BITMAPINFOHEADER read;
    EXPECT_EQ(1, DibReadHeader(&read, block)) << c.name;
    EXPECT_EQ(c.sizeImage, read.biSizeImage) << c.name;
    EXPECT_EQ(c.clrUsed, read.biClrUsed) << c.name;
    GlobalFree(block);
  }
}

TEST(DibHeaders, CoreHeaderIsReadAsItsTwelveBytes) {
  // A 12-byte core header at the end of a 12-byte block: nothing past it
  // may be read or copied.
  BITMAPCOREHEADER core = {sizeof core, 4, 4, 1, 4};
  HGLOBAL block = BlockOf(&core, sizeof core);
  BITMAPINFOHEADER read;
  std::memset(&read, 0xAB, sizeof read);
  ASSERT_EQ(1, DibReadHeader(&read, block));
  EXPECT_EQ(12u, read.biSize);
  const BYTE* tail = reinterpret_cast<const BYTE*>(&read) + 12;
  for (size_t i = 0; i < sizeof read - 12; ++i) EXPECT_EQ(0, tail[i]) << "byte " << 12 + i;
  EXPECT_EQ(16u, DibColorCount(&read));
  EXPECT_EQ(48u, DibColorTableBytes(&read));
  GlobalFree(block);
}

TEST(DibHeaders, LyingHeadersAreRefused) {
  struct Case {
    const char* name;
    BITMAPINFOHEADER header;
    size_t blockSize;
  } cases[] = {
      {"header size larger than the block", Header(2, 2, 24), 20},
      {"unknown header size", [] { auto h = Header(2, 2, 24); h.biSize = 30; return h; }(), 40},
      {"zero width", Header(0, 2, 24), 40},
      {"zero height", Header(2, 0, 24), 40},
      {"size product overflows 32 bits", Header(0x10000, 0x10000, 32), 40},
      {"huge width times bits", Header(0x7FFFFFFF, 1, 32), 40},
      {"unknown bit count", Header(2, 2, 7), 40},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> bytes(c.blockSize > sizeof c.header ? c.blockSize : sizeof c.header);
    std::memcpy(bytes.data(), &c.header, sizeof c.header);
    HGLOBAL block = BlockOf(bytes.data(), c.blockSize);
    BITMAPINFOHEADER read;
    EXPECT_EQ(0, DibReadHeader(&read, block)) << c.name;
    GlobalFree(block);
  }
  BITMAPINFOHEADER read;
  EXPECT_EQ(0, DibReadHeader(&read, nullptr));
}

TEST(DibHeaders, ColourTablesFollowTheCompression) {
  BITMAPINFOHEADER fields = Header(2, 2, 16);
  fields.biCompression = BI_BITFIELDS;
  EXPECT_EQ(12u, DibColorTableBytes(&fields));
  BITMAPINFOHEADER used = Header(2, 2, 8);
  used.biClrUsed = 3;
  EXPECT_EQ(12u, DibColorTableBytes(&used));
  EXPECT_EQ(0u, DibColorCount(&fields));
}

TEST(PackedDibs, AStreamIsLoadedWholeOrNotAtAll) {
  BITMAPINFOHEADER header = Header(3, 2, 24);
  std::vector<BYTE> bytes(sizeof header + 24);
  std::memcpy(bytes.data(), &header, sizeof header);
  for (size_t i = 0; i < 24; ++i) bytes[sizeof header + i] = static_cast<BYTE>(i + 1);
  ZEQMemoryStream stream = {bytes.data(), bytes.size(), 0};
  HGLOBAL dib = LoadPackedDib(&stream);
  ASSERT_NE(nullptr, dib);
  EXPECT_EQ(bytes.size(), stream.position);
  auto loaded = static_cast<const BYTE*>(GlobalLock(dib));
  EXPECT_EQ(0, std::memcmp(loaded + sizeof header, bytes.data() + sizeof header, 24));
  GlobalUnlock(dib);
  GlobalFree(dib);

  ZEQMemoryStream shortStream = {bytes.data(), bytes.size() - 1, 0};
  EXPECT_EQ(nullptr, LoadPackedDib(&shortStream));

  BYTE target[8];
  ZEQMemoryStream small = {bytes.data(), 4, 0};
  EXPECT_EQ(0u, MemoryStreamRead(&small, target, 8));
  EXPECT_EQ(0u, small.position);
}

}  // namespace
