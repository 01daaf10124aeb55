// Window and GDI helpers: rectangles, properties of this process only,
// parents, pens and the client-area clip.
#include <gtest/gtest.h>
#include <windows.h>

#include "windows/window_utils.h"

namespace {

struct Popup {
  HWND window = CreateWindowExA(0, "STATIC", "popup", WS_POPUP, 100, 50, 300, 200, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  HWND child = CreateWindowExA(0, "STATIC", "child", WS_CHILD, 10, 10, 50, 50, window, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ~Popup() { DestroyWindow(window); }
};

TEST(WindowRectangles, ScreenRectanglesMapToWindowOffsetsAndSizes) {
  Popup popup;
  RECT inside = {150, 80, 250, 130};
  ASSERT_TRUE(MapRectToWindowRect(&inside, popup.window));
  EXPECT_EQ(50, inside.left);
  EXPECT_EQ(30, inside.top);
  EXPECT_EQ(100, inside.right);
  EXPECT_EQ(50, inside.bottom);
  // Starting left of and above the window: the part outside is cut off.
  RECT across = {90, 40, 130, 60};
  ASSERT_TRUE(MapRectToWindowRect(&across, popup.window));
  EXPECT_EQ(0, across.left);
  EXPECT_EQ(0, across.top);
  EXPECT_EQ(30, across.right);
  EXPECT_EQ(10, across.bottom);
  DestroyWindow(popup.window);
  EXPECT_FALSE(MapRectToWindowRect(&across, popup.window));
}

TEST(WindowRelations, ParentsAndPropertiesStayInsideTheProcess) {
  Popup popup;
  EXPECT_EQ(popup.window, GetParentWindowExt(popup.child));
  EXPECT_EQ(nullptr, GetParentWindowExt(popup.window));  // the desktop is no parent
  EXPECT_EQ(popup.window, GetTopLevelWindowExt(popup.child));
  SetPropA(popup.window, "MARK", HANDLE(7));
  EXPECT_EQ(HANDLE(7), GetPropExt(popup.window, "MARK"));
  // The desktop window belongs to another process: its properties are none
  // of ours.
  EXPECT_FALSE(IsProcessWindow(GetDesktopWindow()));
  EXPECT_EQ(nullptr, GetPropExt(GetDesktopWindow(), "MARK"));
  RemovePropA(popup.window, "MARK");
  DestroyWindow(popup.window);
  EXPECT_EQ(nullptr, GetPropExt(popup.window, "MARK"));
  EXPECT_EQ(nullptr, GetTopLevelWindowExt(popup.window));
}

TEST(WindowScaling, AnUnscaledDisplayLeavesRectanglesAlone) {
  Popup popup;
  EXPECT_DOUBLE_EQ(1.0, GetMonitorScaleFactor(popup.window));
  RECT rect = {1, 2, 301, 402};
  RectLogicalToPhysical(&rect, popup.window);
  RectPhysicalToLogical(&rect, popup.window);
  EXPECT_EQ(1, rect.left);
  EXPECT_EQ(402, rect.bottom);
}

TEST(GdiHelpers, BlackOrZeroWidthPensDrawNothing) {
  struct Case {
    const char* name;
    DWORD colour;
    int width;
    UINT style;
    COLORREF expected;
  } cases[] = {
      {"red", 0xFF0000, 1, PS_SOLID, RGB(255, 0, 0)},
      {"blue two wide", 0x0000FF, 2, PS_SOLID, RGB(0, 0, 255)},
      {"black", 0x000000, 1, PS_NULL, 0},
      {"zero width", 0x00FF00, 0, PS_NULL, 0},
  };
  for (const Case& c : cases) {
    HPEN pen = CreateRGBPen(c.colour, c.width);
    LOGPEN info = {};
    ASSERT_TRUE(GetObjectA(pen, sizeof info, &info)) << c.name;
    EXPECT_EQ(c.style, info.lopnStyle) << c.name;
    if (c.style == PS_SOLID) {
      EXPECT_EQ(c.expected, info.lopnColor) << c.name;
    }
    DeleteObject(pen);
  }
  EXPECT_EQ(nullptr, CreateCompatibleBitmapExt(0, 10, nullptr));
  HBITMAP bitmap = CreateCompatibleBitmapExt(4, 5, nullptr);
  BITMAP size = {};
  ASSERT_TRUE(GetObjectA(bitmap, sizeof size, &size));
  EXPECT_EQ(5, size.bmWidth);
  EXPECT_EQ(4, size.bmHeight);
  DeleteObject(bitmap);
  HDC dc = CreateCompatibleDC(nullptr);
  HDC slot = dc;
  DeleteDCSlot(&slot);
  EXPECT_EQ(nullptr, slot);
  EXPECT_FALSE(IsValidGdiHandle(nullptr));
  EXPECT_FALSE(IsValidGdiHandle(INVALID_HANDLE_VALUE));
}

TEST(GdiHelpers, TheClientAreaIsClippedOutByItsEdges) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(GetDC(nullptr), 200, 200);
  SelectObject(dc, bitmap);
  // A rectangle away from the origin: its inset client area is
  // (30, 45)-(170, 180), whatever its width and height are.
  RECT rect = {20, 20, 180, 190};
  RECT insets = {10, 5, 10, 10};
  ClipOutClientArea(rect, dc, insets, 20);
  struct Probe {
    int x, y;
    bool visible;
  } probes[] = {{25, 100, true}, {35, 50, false}, {165, 175, false}, {175, 100, true}, {100, 40, true},
                {100, 185, true}};
  for (const Probe& p : probes) {
    EXPECT_EQ(p.visible, PtVisible(dc, p.x, p.y) != FALSE) << p.x << "," << p.y;
  }
  DeleteDC(dc);
  DeleteObject(bitmap);
}


TEST(GdiHelpers, TheSkinsClientAreaIsPlacedByTheAreaRuleAndClippedOut) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 200);
  ReleaseDC(nullptr, screen);
  SelectObject(dc, bitmap);
  SKINHolder skin = SKINNewSkin();
  // A negative left counts from the right edge: the client area is
  // (140, 30)-(170, 180) of the rectangle (20, 20)-(180, 190).
  int* area = skin->elements[0].client.area;
  area[0] = -40;
  area[1] = 10;
  area[2] = 10;
  area[3] = 10;
  RECT rect = {20, 20, 180, 190};
  SKINClipToClientArea(rect, dc, skin);
  struct Probe {
    int x, y;
    bool visible;
  } probes[] = {{100, 100, true}, {145, 35, false}, {165, 175, false}, {135, 100, true}, {175, 100, true},
                {150, 25, true}};
  for (const Probe& p : probes) {
    EXPECT_EQ(p.visible, PtVisible(dc, p.x, p.y) != FALSE) << p.x << "," << p.y;
  }
  // Without a skin nothing is clipped.
  SelectClipRgn(dc, nullptr);
  SKINClipToClientArea(rect, dc, SKINHolder());
  EXPECT_TRUE(PtVisible(dc, 150, 100));
  DeleteDC(dc);
  DeleteObject(bitmap);
}

}  // namespace
