// The debug output window and its status lines.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "foundation/waits.h"
#include "foundation/window_timers.h"
#include "host/debug_output.h"
#include "host/dispatch_ex.h"

namespace {

constexpr UINT kStatusIntervalMs = 100;

HWND volatile g_window = nullptr;
volatile LONG g_allowed = 1;
ZEQDebugCountersProvider volatile g_provider = nullptr;

struct WindowData {
  ZEQDebugWindowState state;
  HFONT regular;
  HFONT bold;
};

WindowData* DataOf(HWND window) { return reinterpret_cast<WindowData*>(GetWindowLongPtrA(window, DWLP_USER)); }

void MakeFonts(WindowData* data) {
  if (data->regular) DeleteObject(data->regular);
  if (data->bold) DeleteObject(data->bold);
  auto make = [&](int weight) {
    return CreateFontA(data->state.fontHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEVICE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, "Courier new");
  };
  data->regular = make(FW_NORMAL);
  data->bold = make(FW_BOLD);
}

void DrawLine(HWND window, WindowData* data, WPARAM wParam, char* text) {
  const int x = static_cast<short>(HIWORD(wParam));
  const int y = static_cast<short>(LOWORD(wParam));
  RECT client;
  GetClientRect(window, &client);
  const bool bold = text[0] == '!';
  const char* shown = bold ? text + 1 : text;
  const RECT line = ZEQDebugLineRect(client.right, client.bottom, x, y);
  HDC dc = GetDC(window);
  if (dc) {
    HGDIOBJ previous = SelectObject(dc, bold ? data->bold : data->regular);
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    RECT drawn = line;
    FillRect(dc, &drawn, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawTextA(dc, shown, -1, &drawn, DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
  }
  RECT invalid = line;
  InvalidateRect(window, &invalid, FALSE);
  data->state.linesDrawn++;
  data->state.lastLine = line;
  data->state.lastBold = bold;
  StrCopyN(data->state.lastText, shown, sizeof data->state.lastText - 1);
}

INT_PTR CALLBACK DebugWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    WindowData* data = DataOf(window);
    switch (message) {
      case WM_INITDIALOG: {
        data = static_cast<WindowData*>(HeapAllocZ(sizeof(WindowData)));
        data->state.fontHeight = kZEQDebugFontHeight;
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
        MakeFonts(data);
        return TRUE;
      }
      case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
        return TRUE;
      }
      case WM_CHAR:
        if (data && (wParam == '+' || wParam == '-')) {
          data->state.fontHeight += wParam == '+' ? -1 : 1;
          InvalidateRect(window, nullptr, TRUE);
          MakeFonts(data);
          return TRUE;
        }
        return FALSE;
      case WM_USER: {
        char* text = reinterpret_cast<char*>(lParam);
        if (data && text) DrawLine(window, data, wParam, text);
        HeapFreeZ(text);
        return TRUE;
      }
      case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
      case WM_DESTROY:
        // Lines posted from now on must not reach a window that reuses the
        // handle.
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_window), nullptr, window);
        if (data) {
          if (data->regular) DeleteObject(data->regular);
          if (data->bold) DeleteObject(data->bold);
          HeapFreeZ(data);
          SetWindowLongPtrA(window, DWLP_USER, 0);
        }
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    ZEQLogUnexpected("DebugWindowProc");
    if (message == WM_USER) HeapFreeZ(reinterpret_cast<void*>(lParam));
    return FALSE;
  }
}

// A plain popup dialog with a caption and no items, for an executable
// without the "BLANK" resource.
HWND CreateBlankDialog(HWND parent) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (FindResourceA(instance, "BLANK", reinterpret_cast<LPCSTR>(RT_DIALOG)))
    return CreateDialogParamA(instance, "BLANK", parent, DebugWindowProc, 0);
  struct {
    DLGTEMPLATE header;
    WORD menu, windowClass, title;
  } blank{};
  blank.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME;
  return CreateDialogIndirectParamA(instance, &blank.header, parent, DebugWindowProc, 0);
}

void ProcessStart(SYSTEMTIME* local, int* uptimeSeconds) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  FILETIME localTime;
  FileTimeToLocalFileTime(&created, &localTime);
  FileTimeToSystemTime(&localTime, local);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = created.dwLowDateTime;
  a.HighPart = created.dwHighDateTime;
  b.LowPart = now.dwLowDateTime;
  b.HighPart = now.dwHighDateTime;
  *uptimeSeconds = b.QuadPart > a.QuadPart ? static_cast<int>((b.QuadPart - a.QuadPart) / 10000000ULL) : 0;
}

}  // namespace

RECT ZEQDebugLineRect(int clientWidth, int clientHeight, int x, int y) {
  // The viewport moves by the codes, and the line is placed in it at the
  // codes again (a negative one counted from the far edge).
  const int lineX = x < 0 ? clientWidth + x : x;
  const int lineY = y < 0 ? clientHeight + y : y;
  RECT r;
  r.left = x + lineX + 5;
  r.top = y + lineY;
  r.right = x + clientWidth;
  r.bottom = y + lineY + 20;
  return r;
}

HWND CreateDebugOutputWindow(HWND parent) {
  if (!ZEQDebugOutputAllowed()) return nullptr;
  HWND window = CreateBlankDialog(parent);
  if (!window) return nullptr;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int width = work.right - work.left;
  const int height = work.bottom - work.top;
  SetWindowPos(window, nullptr, 50, height - 300, width - 100, 260, SWP_NOZORDER);
  SetWindowTextA(window, "Base");
  ShowWindow(window, SW_SHOW);
  InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_window), window);
  return window;
}

HWND ZEQGetDebugOutputWindow() { return g_window; }

void ZEQToggleDebugOutputWindow(HWND mainWindow) {
  if (!ZEQDebugOutputAllowed()) return;
  HWND window = g_window;
  if (window && IsWindow(window))
    SendMessageA(window, WM_CLOSE, 0, 0);
  else
    CreateDebugOutputWindow(mainWindow);
}

void ZEQSetDebugOutputAllowed(bool allowed) { InterlockedExchange(&g_allowed, allowed ? 1 : 0); }
bool ZEQDebugOutputAllowed() { return g_allowed != 0; }

bool ZEQGetDebugWindowState(HWND window, ZEQDebugWindowState* state) {
  if (!window || !IsWindow(window) || !state) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || GetWindowLongPtrA(window, DWLP_DLGPROC) == 0) return false;
  WindowData* data = DataOf(window);
  if (!data) return false;
  *state = data->state;
  return true;
}

void ZEQSetDebugCountersProvider(ZEQDebugCountersProvider provider) {
  InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_provider), reinterpret_cast<void*>(provider));
}

void CALLBACK ZEQLogStatusReport(HWND, UINT, UINT_PTR, DWORD) {
  try {
    if (!ZEQDebugOutputAllowed()) return;
    HWND target = g_window;
    ZEQDebugCounters c{};
    c.invokeInterface = static_cast<int>(ZEQLiveApcItems());
    c.zeqObjects = static_cast<int>(ZEQLiveDispatchExCount());
    if (ZEQDebugCountersProvider provider = g_provider) provider(&c);

    SYSTEMTIME started;
    int uptime = 0;
    ProcessStart(&started, &uptime);
    char duration[128] = "";
    FormatDuration(uptime, duration, sizeof duration);
    PostTextMessage(0, nullptr, target, 0, "!%s - [STARTED] %02d/%02d/%04d - %02d:%02d:%02d - %s running...\r\n",
                    "RELEASE", started.wDay, started.wMonth, started.wYear, started.wHour, started.wMinute,
                    started.wSecond, duration);

    char path[MAX_PATH + 1] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    CharLowerA(path);
    PostTextMessage(0, nullptr, target, 10, "!%s%s%s", "KESTO Location: \"", path, "\"");

    char version[512] = "";
    FormatVersionLine(version, sizeof version);
    PostTextMessage(0, nullptr, target, 20, "!%s", version);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
      char workingSet[64], pageFile[64];
      FormatNumberGrouped(static_cast<double>(memory.WorkingSetSize), workingSet, sizeof workingSet);
      FormatNumberGrouped(static_cast<double>(memory.PagefileUsage), pageFile, sizeof pageFile);
      PostTextMessage(0, nullptr, target, 30,
                      "Memory: Process Working Set: %s - Process Virtual Memory: %s - Recycle: %s", workingSet,
                      pageFile, c.recycleInterval > 0 ? "ENABLED" : "DISABLED");
    }

    PostTextMessage(0, nullptr, target, -60, "ZEQSPOBJ: DISABLED");
    PostTextMessage(100, nullptr, target, -60, "IBW: %d", c.ibw);
    PostTextMessage(200, nullptr, target, -60, "IBC: %d", c.ibc);
    PostTextMessage(300, nullptr, target, -60, "HDC Files: %d", c.hdcFiles);
    PostTextMessage(400, nullptr, target, -60, "IBS Classes: %d", c.ibsClasses);
    PostTextMessage(500, nullptr, target, -60, "IBS Extensions: %d", c.ibsExtensions);
    PostTextMessage(0, nullptr, target, -50, "PlaySound: %d", c.playSound);
    PostTextMessage(0, nullptr, target, -40, "ZEQInvokeInterface: %d", c.invokeInterface);
    PostTextMessage(0, nullptr, target, -30,
                    "SIP - Transactions( Allocated: %d, Pushed: %d ), Sockets( %d ), Dialogs( Allocated: %d, "
                    "Pushed: %d ), Subscriptions( Handles: %d ), ZEQ( Objects: %d ), VE( Initialized: %d )",
                    c.sipTransactionsAllocated, c.sipTransactionsPushed, c.sipSockets, c.sipDialogsAllocated,
                    c.sipDialogsPushed, c.sipSubscriptions, c.zeqObjects, c.voiceEngineInitialized);
  } catch (...) {
    ZEQLogUnexpected("ZEQLogStatusReport");
  }
}

UINT_PTR ZEQStartStatusReport() { return SetTimerExt(nullptr, 0, kStatusIntervalMs, ZEQLogStatusReport, 0); }

void ZEQStopStatusReport(UINT_PTR timerId) {
  if (timerId) KillTimerExt(nullptr, timerId);
}
