// The main window procedure.
#include "kesto/main_window.h"

#include <dbt.h>

#include <initializer_list>

#include "foundation/com_guard.h"
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/registered_messages.h"
#include "foundation/text.h"
#include "foundation/script_calls.h"
#include "foundation/timer_thread.h"
#include "foundation/variant.h"
#include "foundation/window_timers.h"
#include "host/debug_output.h"
#include "host/instance_names.h"
#include "kesto/instance_commands.h"
#include "kesto/pipe_server.h"
#include "kesto/startup.h"
#include "package/application_settings.h"
#include "windows/program_windows.h"
#include "windows/records.h"
#include "windows/runtime_messages.h"

namespace {

constexpr uint32_t kMainFrameFlags = 0x18;
UINT_PTR statusTimer = 0;

// Raises a page event on the loader container with a list of arguments
// (null: none).
void RaiseOnLoader(const wchar_t* event, SAFEARRAY* arguments, uint32_t flags, HWND caller = nullptr) {
  HWND loader = ZEQLoaderHostWindow();
  if (!IsWindow(loader)) {
    if (arguments) SafeArrayDestroy(arguments);
    return;
  }
  if (!arguments) {
    ZEQDeliverAPCToContainer(loader, event, caller, flags);
    return;
  }
  VARIANT list;
  V_VT(&list) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&list) = arguments;
  ZEQDeliverAPC(loader, event, nullptr, caller, &list, nullptr, flags | kZEQApcArgumentList, nullptr, 0, nullptr);
  VariantClear(&list);
}

SAFEARRAY* Values(std::initializer_list<VARIANT> values) {
  SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
  if (!list) return nullptr;
  LONG index = 0;
  for (VARIANT value : values) {
    SafeArrayPutElement(list, &index, &value);
    VariantClear(&value);
    ++index;
  }
  return list;
}

VARIANT Unsigned(ULONG value) {
  VARIANT v;
  V_VT(&v) = VT_UI4;
  V_UI4(&v) = value;
  return v;
}

VARIANT Text(const char* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = AnsiToBSTR(text ? text : "");
  return v;
}

void OnDeviceChange(WPARAM event, LPARAM lParam) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
  auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
  if (!header) return;
  const wchar_t* name = event == DBT_DEVICEARRIVAL ? L"ZEQOnDeviceInsert" : L"ZEQOnDeviceRemove";
  if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(header);
    RaiseOnLoader(name, Values({Unsigned(0), Text(device->dbcc_name)}), 0x101);
  } else if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
    auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    RaiseOnLoader(name, Values({Unsigned(1), Unsigned(volume->dbcv_unitmask), Unsigned(volume->dbcv_flags)}), 0x101);
  }
}

LRESULT OnCreate(HWND window) {
  Startup().mainWindow = window;
  ZEQSetMainWindow(window);
  ZEQAttachWindowParam(window, nullptr, "KESTOMain", kMainFrameFlags);
  statusTimer = SetTimerExt(nullptr, 0, 100, ZEQLogStatusReport, 0);
  const int32_t interval = GetApplicationSettings()->recycleInterval;
  if (interval > 0) SetTimerExt(window, kRecycleTimerId, static_cast<UINT>(interval), nullptr, 0);
  return 0;
}

// What the program's windows do with every other message: the runtime's
// messages, destruction on the window's own thread, the end of the loop.
LRESULT CommonHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ZEQHandleRuntimeMessage(window, message, wParam, lParam, &result)) return result;
  if (message == CMSG_DESTROYWND) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY && GetPropA(window, "POSTQUITONDESTROY")) {
    RemovePropA(window, "POSTQUITONDESTROY");
    PostQuitMessage(0);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_KESTOMICACCESSDENIED) {
    RaiseOnLoader(L"ZEQOnMicrophoneAccessDenied", Values({Unsigned(static_cast<ULONG>(wParam))}), 0x101);
    return 0;
  }
  if (message == CMSG_KESTOLASTSESSIONNOTPROPERLYCLOSED) {
    RaiseOnLoader(L"ZEQOnKESTOLastSessionNotProperlyClosed", Values({Unsigned(static_cast<ULONG>(wParam))}), 0x101);
    return 0;
  }
  if (message == CMSG_KESTONOTIFY_SYSTEMBROADCAST) {
    ZEQContainerHolder own = ZEQGetBaseContainer(window);
    RaiseOnLoader(L"ZEQOnKESTOBroadcastNotification",
                  Values({Unsigned(static_cast<ULONG>(wParam)), Unsigned(static_cast<ULONG>(lParam))}), 1,
                  own.IsSet() ? own->hostWindow : nullptr);
    return CommonHandling(window, message, wParam, lParam);
  }
  if (message == CMSG_KESTONOTIFY) {
    KESTOInstanceReceiveCommand(wParam, lParam);
    return 0;
  }
  if (message == CIPCMsgBaseOnCommand) {
    PipeServerDispatch(wParam, lParam);
    return 0;
  }
  if (message == CMSG_KESTOHOTKEY) {
    if (Startup().startupMode == 0 && wParam == 1) ZEQToggleDebugOutputWindow(window);
    return 0;
  }
  if (message == CMSG_KESTOASYNCHLOG) return ZEQLogHandlePostedLine(lParam);
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      if (statusTimer) KillTimerExt(nullptr, statusTimer);
      statusTimer = 0;
      CloseInstanceIdentity();
      return CommonHandling(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
      KESTOTerminate();
    case WM_NCDESTROY:
      ZEQSetApplicationState(kZEQAppProcessEnding);
      ZEQGlobalLog()->Close();
      return CommonHandling(window, message, wParam, lParam);
    case WM_COMMAND:
      if (LOWORD(wParam) == kCommandOpenLoader) return OpenLoaderContainer();
      if (LOWORD(wParam) == kCommandTerminate) KESTOTerminate();
      return 0;
    case WM_TIMER:
      if (wParam == kRecycleTimerId) return 0;
      break;
    case WM_POWERBROADCAST:
      ZEQLogPrintf("WM_POWERBROADCAST: wParam: %08X, lParam: %08X", unsigned(wParam), unsigned(lParam));
      if (wParam == PBT_APMRESUMEAUTOMATIC) RaiseOnLoader(L"ZEQOnSystemResume", nullptr, 0x101);
      break;
    case WM_DEVICECHANGE:
      OnDeviceChange(wParam, lParam);
      return 1;
    case WM_CONTEXTMENU:
      return 1;
    default:
      break;
  }
  return CommonHandling(window, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK KESTOMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) try {
  if (ZEQWindowProcPrologue(window, message, lParam)) return 1;
  return MainWindowProc(window, message, wParam, lParam);
}
ZEQ_CALLBACK_CATCH("KESTOMainWindowProc", 0)

bool RegisterMainWindowClass() {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS | CS_PARENTDC;
  windowClass.lpfnWndProc = KESTOMainWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kMainWindowClassName;
  return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
