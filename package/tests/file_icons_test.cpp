// The icon of a file: an icon file's own icon, small or large, also through
// a macro in its path; other files get the shell's icon, an empty path none.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/file_icons.h"
#include "package/macros.h"
#include "package_test_support.h"

namespace {

// A 16 x 16 icon file of one colour (32 bits a pixel, no transparency).
std::vector<uint8_t> SolidIcon(uint32_t bgra) {
  const int side = 16;
  const uint32_t xorBytes = side * side * 4, andBytes = side * 4;
  const uint32_t imageBytes = sizeof(BITMAPINFOHEADER) + xorBytes + andBytes;
  std::vector<uint8_t> file(6 + 16 + imageBytes, 0);
  uint8_t* p = file.data();
  p[2] = 1;  // type: icon
  p[4] = 1;  // one image
  uint8_t* entry = p + 6;
  entry[0] = side;
  entry[1] = side;
  entry[4] = 1;   // planes
  entry[6] = 32;  // bits
  std::memcpy(entry + 8, &imageBytes, 4);
  const uint32_t offset = 6 + 16;
  std::memcpy(entry + 12, &offset, 4);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = side;
  header.biHeight = side * 2;  // colour and mask
  header.biPlanes = 1;
  header.biBitCount = 32;
  std::memcpy(p + offset, &header, sizeof header);
  uint8_t* pixels = p + offset + sizeof header;
  for (int i = 0; i < side * side; ++i) std::memcpy(pixels + i * 4, &bgra, 4);
  return file;
}

// The colour of the icon's middle pixel (0xRRGGBB), or -1 without an icon.
long MiddleColour(HICON icon) {
  if (!icon) return -1;
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return -1;
  BITMAP bitmap = {};
  GetObject(info.hbmColor, sizeof bitmap, &bitmap);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, info.hbmColor);
  const COLORREF colour = GetPixel(dc, bitmap.bmWidth / 2, bitmap.bmHeight / 2);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return long(GetRValue(colour)) << 16 | long(GetGValue(colour)) << 8 | GetBValue(colour);
}

TEST(FileIcons, AFilesIconIsItsOwnOrTheShellsForItsKind) {
  const std::string folder = PackageTestFolder("icons");
  WriteWholeFile(folder + "\\red.ico", SolidIcon(0xFFFF0000));
  RegisterMacro("zeqicontest", folder.c_str());
  const long kRed = 0xFF0000;
  const struct {
    const char* name;
    std::string path;
    bool small;
    bool own;  // the red icon of the file itself
  } cases[] = {
      {"an icon file's small icon", folder + "\\red.ico", true, true},
      {"an icon file's large icon", folder + "\\red.ico", false, true},
      {"a macro in the path is expanded", "%zeqicontest%\\red.ico", true, true},
      {"a text file gets the shell's icon", folder + "\\notes.txt", true, false},
      {"a program that is not there gets the shell's icon", folder + "\\absent.exe", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HICON icon = ExtractIconFromFile(c.path.c_str(), c.small);
    const long colour = MiddleColour(icon);
    if (c.own) {
      EXPECT_EQ(kRed, colour);
      ICONINFO info = {};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP bitmap = {};
      GetObject(info.hbmColor, sizeof bitmap, &bitmap);
      EXPECT_EQ(c.small ? GetSystemMetrics(SM_CXSMICON) : GetSystemMetrics(SM_CXICON), bitmap.bmWidth);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    } else {
      EXPECT_NE(kRed, colour);
    }
    if (icon) DestroyIcon(icon);
  }
  EXPECT_EQ(nullptr, ExtractIconFromFile("", true));
  EXPECT_EQ(nullptr, ExtractIconFromFile(nullptr, false));
  RegisterMacro("-zeqicontest", nullptr);
  DeleteFileA((folder + "\\red.ico").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
