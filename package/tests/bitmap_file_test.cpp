// Bitmaps written to .bmp files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/system_queries.h"
#include "windows/window_helpers.h"

namespace {

std::string TempPath(const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  char path[MAX_PATH + 64];
  std::snprintf(path, sizeof path, "%szeqbitmap.%lu.%s", temp, GetCurrentProcessId(), name);
  return path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD got = 0;
  if (!bytes.empty()) ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes;
}

template <typename T>
T At(const std::vector<uint8_t>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

TEST(BitmapFile, ATrueColourBitmapIsWrittenBottomUp) {
  // 3 x 2 pixels at the screen's depth, one red pixel at the top left.
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 2);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  RECT all = {0, 0, 3, 2};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetPixel(memory, 0, 0, RGB(255, 0, 0));
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPINFO* info = CreateBitmapInfoForBitmap(bitmap);
  ASSERT_NE(info, nullptr);
  const WORD depth = info->bmiHeader.biBitCount;
  ASSERT_GE(depth, 24);
  EXPECT_EQ(info->bmiHeader.biClrUsed, 0u);
  const DWORD stride = ((3 * depth + 31) / 32) * 4;
  EXPECT_EQ(info->bmiHeader.biSizeImage, stride * 2);
  LocalFree(info);

  const std::string path = TempPath("true.bmp");
  ASSERT_TRUE(SaveBitmapToFile(bitmap, path.c_str()));
  const std::vector<uint8_t> bytes = ReadBytes(path);
  DeleteFileA(path.c_str());
  DeleteObject(bitmap);

  ASSERT_EQ(bytes.size(), 14 + 40 + stride * 2);
  EXPECT_EQ(At<uint16_t>(bytes, 0), 0x4D42);
  EXPECT_EQ(At<uint32_t>(bytes, 2), bytes.size());
  EXPECT_EQ(At<uint32_t>(bytes, 6), 0u);
  EXPECT_EQ(At<uint32_t>(bytes, 10), 54u);
  EXPECT_EQ(At<uint32_t>(bytes, 14), 40u);
  EXPECT_EQ(At<int32_t>(bytes, 18), 3);
  EXPECT_EQ(At<int32_t>(bytes, 22), 2);
  // Rows run bottom-up: the top row is the second; pixels are blue, green, red.
  const size_t topLeft = 54 + stride;
  EXPECT_EQ(bytes[topLeft + 0], 0);
  EXPECT_EQ(bytes[topLeft + 1], 0);
  EXPECT_EQ(bytes[topLeft + 2], 255);
  const size_t next = topLeft + depth / 8;
  EXPECT_EQ(bytes[next + 0], 255);
  EXPECT_EQ(bytes[next + 2], 255);
}

TEST(BitmapFile, APalettedBitmapCarriesItsColourTable) {
  const BYTE pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // 4 x 2, 8 bits, rows of 4 bytes
  HBITMAP bitmap = CreateBitmap(4, 2, 1, 8, pixels);
  ASSERT_NE(bitmap, nullptr);
  const std::string path = TempPath("paletted.bmp");
  ASSERT_TRUE(SaveBitmapToFile(bitmap, path.c_str()));
  const std::vector<uint8_t> bytes = ReadBytes(path);
  DeleteFileA(path.c_str());
  DeleteObject(bitmap);
  const uint32_t offset = 14 + 40 + 256 * 4;
  ASSERT_EQ(bytes.size(), offset + 8);
  EXPECT_EQ(At<uint32_t>(bytes, 2), bytes.size());
  EXPECT_EQ(At<uint32_t>(bytes, 10), offset);
  EXPECT_EQ(At<uint16_t>(bytes, 28), 8);
  EXPECT_EQ(At<uint32_t>(bytes, 46), 256u);
}

TEST(BitmapFile, FailuresAreReported) {
  HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
  EXPECT_FALSE(SaveBitmapToFile(bitmap, TempPath("missing\\folder\\x.bmp").c_str()));
  EXPECT_FALSE(SaveBitmapToFile(nullptr, TempPath("none.bmp").c_str()));
  EXPECT_EQ(GetFileAttributesA(TempPath("none.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteObject(bitmap);
}

}  // namespace
