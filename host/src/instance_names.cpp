// The instance name and the names, windows and sections built from it.
#include "host/instance_names.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/instance_name.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/text.h"
#include "foundation/waits.h"
#include "package/application_settings.h"

namespace {

constexpr char kInstanceSuffixMark[] = ".ZEQ{";
constexpr char kSendCommandSection[] = "KESTOInstanceSendCommand::ES";

// The section's event, opened once and kept for the life of the process.
std::atomic<HANDLE> g_sendCommandEvent{nullptr};

HANDLE SendCommandEvent() {
  HANDLE event = g_sendCommandEvent.load();
  if (event) return event;
  char* name = HeapPrintf(0, "KESTO.EXCLUSIVESECTION.%08X.%s", unsigned(GetCurrentProcessId()),
                          kSendCommandSection);
  StrReplaceChar(name, '\\', '-');
  event = CreateEventA(nullptr, FALSE, TRUE, name);
  HeapFreeZ(name);
  if (!event) return nullptr;
  HANDLE expected = nullptr;
  if (!g_sendCommandEvent.compare_exchange_strong(expected, event)) {
    // Another thread opened it first: keep one handle.
    CloseHandle(event);
    return expected;
  }
  return event;
}

RECT WorkAreaNear(HWND window) {
  MONITORINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  }
  return info.rcWork;
}

// Centres the window over another (over the work area of its own monitor
// when there is none), kept inside the work area.
void CenterWindowOver(HWND window, HWND over) {
  if (!window || !IsWindow(window)) return;
  RECT own;
  if (!GetWindowRect(window, &own)) return;
  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  RECT area;
  RECT work;
  if (over && IsWindow(over) && GetWindowRect(over, &area)) {
    work = WorkAreaNear(over);
    if (area.right - area.left < width) {
      area.left -= width / 2;
      area.right += width / 2;
      if (area.left < work.left) OffsetRect(&area, work.left - area.left, 0);
    }
    if (area.bottom - area.top < height) {
      area.top -= height / 2;
      area.bottom += height / 2;
      if (area.top < work.top) OffsetRect(&area, 0, work.top - area.top);
    }
  } else {
    work = WorkAreaNear(window);
    area = work;
  }
  LONG x = area.left + (area.right - area.left - width) / 2;
  LONG y = area.top + (area.bottom - area.top - height) / 2;
  if (x + width > work.right) x = work.right - width;
  if (x < work.left) x = work.left;
  if (y + height > work.bottom) y = work.bottom - height;
  if (y < work.top) y = work.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void BuildInstanceName() {
  const char* explicitName = ZEQGetExplicitInstanceName();
  if (!IsEmptyString(explicitName)) {
    ZEQSetInstanceName(explicitName);
    return;
  }
  // The application package's custom text, when it brought one, stays.
  if (*ZEQInstanceNameBuffer()) return;
  const ApplicationSettings* settings = GetApplicationSettings();
  char name[kZEQInstanceNameMax + 1];
  snprintf(name, sizeof name, ".ZEQ{%04X.%04X.%04X.%04X}", unsigned(settings->publisherId), 0u,
           unsigned(settings->id), unsigned(settings->platformId));
  ZEQSetInstanceName(name);
}

char* MakeKernelObjectName(const char* kind, const char* name) {
  char* text = HeapPrintf(0, "KESTO.%s.%08X.%s", kind ? kind : "", unsigned(GetCurrentProcessId()),
                          name ? name : "");
  return StrReplaceChar(text, '\\', '-');
}

char* FormatMainWindowTitle(const char* instanceName) {
  return HeapPrintf(0, "KESTO Instance Name: \"%s\", KESTO GUID: \"%s\"",
                    instanceName ? instanceName : "", kInstanceIdentityGuid);
}

HWND FindMainInstanceWindow(const char* instanceName) {
  char* title = FormatMainWindowTitle(instanceName);
  HWND window = FindWindowExA(nullptr, nullptr, kMainWindowClassName, title);
  HeapFreeZ(title);
  return window;
}

int KESTOPostToMainInstance(HWND window) {
  char* name = StrDupExtra(ZEQInstanceNameBuffer(), 0);
  // What follows the identity suffix does not belong to the main window's
  // name.
  if (char* suffix = strstr(name, kInstanceSuffixMark)) {
    if (char* end = strstr(suffix, "}.")) end[1] = '\0';
  }
  HWND main = FindMainInstanceWindow(name);
  if (main && IsWindow(main)) {
    PostMessageA(main, CMSG_CENTERWINDOWSON, 0, reinterpret_cast<LPARAM>(window));
  } else {
    CenterWindowOver(window, ZEQGetMainWindow());
  }
  HeapFreeZ(name);
  return 1;
}

int EnterSendCommandSection(DWORD timeout) {
  HANDLE event = SendCommandEvent();
  if (!event) return 0;
  return MsgWaitForHandleExt(&event, timeout, nullptr, 0) ? 1 : 0;
}

int LeaveSendCommandSection() {
  HANDLE event = SendCommandEvent();
  if (!event) return 0;
  SetEvent(event);
  return 1;
}

uint32_t SeedRandomWithIdentity() {
  OSVERSIONINFOA os;
  memset(&os, 0, sizeof os);
  os.dwOSVersionInfoSize = sizeof os;
  GetVersionExA(&os);
  char version[400];
  snprintf(version, sizeof version, "%d.%d.%d.%d.%s", int(os.dwMajorVersion),
           int(os.dwMinorVersion), int(os.dwBuildNumber), int(os.dwPlatformId), os.szCSDVersion);
  char user[260] = "";
  DWORD size = sizeof user;
  if (!GetUserNameA(user, &size)) user[0] = '\0';
  char* identity = HeapPrintf(0, "localhost://%s:%d@KESTO.%s/%s", user, int(GetCurrentProcessId()),
                              kInstanceIdentityGuid, version);
  const uint32_t number = MakeRandomNumber(identity);
  HeapFreeZ(identity);
  return number;
}
