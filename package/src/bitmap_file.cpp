// Bitmaps written to .bmp files.
#include <cstring>

#include "package/system_queries.h"
#include "package/vfs.h"
#include "windows/window_helpers.h"

namespace {

// Writes every byte or fails.
bool WriteAll(HANDLE file, const void* data, DWORD count) {
  DWORD written = 0;
  return WriteFileExt(file, data, count, &written) && written == count;
}

}  // namespace

BOOL WriteBitmapFile(const char* path, BITMAPINFO* info, HBITMAP bitmap) {
  if (!path || !info || !bitmap) return FALSE;
  HANDLE file = CreateFileExt(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  BITMAPINFOHEADER& header = info->bmiHeader;
  // GetDIBits may rewrite these two (a colour count of 0 meaning "all"); the
  // file keeps the figures its layout was made for.
  const DWORD colours = header.biClrUsed;
  const DWORD imageSize = header.biSizeImage;
  BOOL written = FALSE;
  HDC screen = GetDC(nullptr);
  HGLOBAL pixels = GlobalAlloc(GMEM_FIXED, imageSize);
  if (screen && pixels && GetDIBits(screen, bitmap, 0, UINT(header.biHeight), pixels, info, DIB_RGB_COLORS)) {
    header.biClrUsed = colours;
    header.biSizeImage = imageSize;
    const DWORD table = header.biSize + header.biClrUsed * sizeof(RGBQUAD);
    BITMAPFILEHEADER fileHeader;
    std::memset(&fileHeader, 0, sizeof fileHeader);
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = DWORD(sizeof fileHeader) + table;
    fileHeader.bfSize = fileHeader.bfOffBits + header.biSizeImage;
    written = WriteAll(file, &fileHeader, sizeof fileHeader) && WriteAll(file, info, table) &&
              WriteAll(file, pixels, header.biSizeImage);
  }
  if (pixels) GlobalFree(pixels);
  if (screen) ReleaseDC(nullptr, screen);
  CloseHandleExt(&file);
  return written;
}

BOOL SaveBitmapToFile(HBITMAP bitmap, const char* path) {
  BITMAPINFO* info = CreateBitmapInfoForBitmap(bitmap);
  if (!info) return FALSE;
  const BOOL written = WriteBitmapFile(path, info, bitmap);
  LocalFree(info);
  return written;
}
