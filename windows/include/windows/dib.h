// Packed DIBs (a BITMAPINFOHEADER of 40 bytes or an old 12-byte core
// header, the colour table, then the pixel bits) read from memory.
// Headers come from files and packages: every size and dimension is
// checked before anything is allocated or copied.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Entries of the colour table the header calls for.
uint32_t DibColorCount(const BITMAPINFOHEADER* header);
// Bytes of the colour table (3 per core entry, 4 per entry otherwise,
// plus three masks for BI_BITFIELDS).
uint32_t DibColorTableBytes(const BITMAPINFOHEADER* header);
// Copies the header at the start of the locked block into *header (a core
// header is kept as its 12 bytes, the rest zeroed), filling biSizeImage and
// biClrUsed when they are 0. 0 for no block, a block too small for its
// header, an unknown header size, or dimensions whose image size does not
// fit in 32 bits (or is not positive); 1 otherwise.
int DibReadHeader(BITMAPINFOHEADER* header, HGLOBAL block);

// Data, size and read position.
struct ZEQMemoryStream {
  const uint8_t* data;
  size_t size;
  size_t position;
};
// count, or 0 (nothing read) when fewer than count bytes remain.
size_t MemoryStreamRead(ZEQMemoryStream* stream, void* destination, size_t count);
// A movable global block holding header, colour table and bits; 0 when the
// header is invalid or the stream holds too little.
HGLOBAL LoadPackedDib(ZEQMemoryStream* stream);
