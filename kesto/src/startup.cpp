// Start-up: the initialisation sequence and the run.
#include "kesto/startup.h"
#include "start_paths.h"

#include <winsock2.h>
#include <commctrl.h>
#include <dbt.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "foundation/text.h"
#include "foundation/timer_thread.h"
#include "foundation/waits.h"
#include "host/application_definitions.h"
#include "host/browser_container.h"
#include "host/browser_settings.h"
#include "host/dispatch_ex.h"
#include "host/file_functions.h"
#include "host/host_object.h"
#include "foundation/instance_name.h"
#include "host/instance_names.h"
#include "host/script_calls.h"
#include "host/window_functions.h"
#include "host/zeq_protocol.h"
#include "kesto/error_box.h"
#include "kesto/exit_teardown.h"
#include "kesto/instance_commands.h"
#include "kesto/process_members.h"
#include "kesto/main_window.h"
#include "kesto/pipe_server.h"
#include "package/application_settings.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/signature.h"
#include "package/log_file_setup.h"
#include "package/macros.h"
#include "package/package_root.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "windows/program_windows.h"
#include "windows/window_utils.h"

using kesto::CopyStartPath;
using kesto::NormalizeStartPath;
using kesto::ShortenStartPath;

namespace {

[[noreturn]] void Fail(uint32_t code, const char* url = nullptr, const char* description = nullptr) {
  KESTOError(description, code, url, 1);
  KESTOTerminate();  // KESTOError does not return for a fatal error
}

const char* LogPath() { return ZEQGlobalLog()->path; }

// A path expanded against a base folder, as a new heap text.
char* ExpandAgainst(const char* path, const char* base) {
  char* copy = StrDupExtra(path, MAX_PATH);
  ExpandLoaderRelativePath(&copy, std::strlen(copy) + MAX_PATH + 1, base);
  return copy;
}

void DeriveExecutablePaths(StartupValues& start) {
  GetModuleFileNameA(nullptr, start.executablePath, kStartPathMax);
  CharLowerA(start.executablePath);
  StrReplaceChar(start.executablePath, '/', '\\');
  const char* slash = std::strrchr(start.executablePath, '\\');
  CopyStartPath(start.executableFileName, slash ? slash + 1 : start.executablePath);
  CopyStartPath(start.executableBaseName, start.executableFileName);
  if (char* dot = std::strrchr(start.executableBaseName, '.')) *dot = '\0';
  CopyStartPath(start.executableFolder, start.executablePath);
  if (char* cut = std::strrchr(start.executableFolder, '\\')) *cut = '\0';
  NormalizeStartPath(start.executableFolder);
  RemoveTrailingBackslash(start.executableFolder);
  ShortenStartPath(start.executableFolder);
  std::snprintf(start.executableShortPath, sizeof start.executableShortPath, "%s\\%s", start.executableFolder,
                start.executableFileName);
}

void DeriveTemporaryFolder(StartupValues& start) {
  char temp[kStartPathMax + 1] = "";
  if (!GetTempPathA(sizeof temp, temp)) {
    ZEQLogPrintf("GetWindowsTempPath: [FAILED] - ErrorCode: %d", int(GetLastError()));
    return;
  }
  RemoveTrailingBackslash(temp);
  CreateDirectoryA(temp, nullptr);
  ShortenStartPath(temp);
  CopyStartPath(start.temporaryFolder, temp);
}

void RegisterSystemMacros(const StartupValues& start) {
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u", kKESTOVersionMajor, kKESTOVersionMinor, kKESTOVersionBuild);
  RegisterMacro("!%kestoversion%", text);
  RegisterMacro("!%kestoversionname%", "RELEASE");
  RegisterMacro("!%kestoclassid%", "3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9");
  std::snprintf(text, sizeof text, "%u.%u.%u", kZEQVersionMajor, kZEQVersionMinor, 0u);
  RegisterMacro("!%zeqversion%", text);
  RegisterMacro("!%zeqversionname%", "RELEASE");
  RegisterMacro("!%kestopath%", start.executableFolder);
  RegisterMacro("!%kestoname%", start.executableFileName);
  RegisterMacro("!%zeqsystemfontname%", GetSystemFontFace());
  std::snprintf(text, sizeof text, "%d", GetSystemFontSize());
  RegisterMacro("!%zeqsystemfontsize%", text);
}

void ReadStartupDefinitionsFile(StartupValues& start) {
  char option[kStartupOptionSize];
  GetStartupOption("def", option, start.commandLine);
  if (*option) {
    CopyStartPath(start.definitionsPath, option);
  } else {
    std::snprintf(start.definitionsPath, sizeof start.definitionsPath, "%s.def", start.executableBaseName);
  }
  char* path = ExpandAgainst(start.definitionsPath, start.executableFolder);
  CopyStartPath(start.definitionsPath, path);
  HeapFreeZ(path);
  if (PathFileExistsExt(start.definitionsPath)) {
    DefinitionsList* list = ParseDefinitionsFile(0, start.definitionsPath, 0, nullptr, 0);
    if (list) {
      SetStartupDefinitions(list);
      ReadStartupDefinitions(list);
      // The definitions' arguments replace the command line.
      if (const char* arguments = GetApplicationSettings()->arguments) {
        HeapFreeZ(start.commandLine);
        start.commandLine = StrDupExtra(arguments, 0);
      }
    }
  }
  CopyStartPath(start.definitionsFolder, start.definitionsPath);
  if (char* cut = std::strrchr(start.definitionsFolder, '\\')) *cut = '\0';
  NormalizeStartPath(start.definitionsFolder);
}

void ReadPackageKeys(StartupValues& start) {
  DefinitionsList* list = GetStartupDefinitions();
  if (!list) return;
  StrCopyN(start.packagePassword, DefinitionGetValue(list, "package", "password", "", nullptr),
           sizeof start.packagePassword);
  int flag = 0;
  DefinitionGetBool(list, "package", "compress", &flag, 0);
  start.packageCompress = flag != 0;
  DefinitionGetBool(list, "package", "encrypt", &flag, 0);
  start.packageEncrypt = flag != 0;
  CopyStartPath(start.packageManifest, DefinitionGetValue(list, "package", "manifest", "", nullptr));
}

void OpenLogFile(StartupValues& start) {
  const ApplicationSettings* settings = GetApplicationSettings();
  if (!*start.logOption && !settings->logEnable) return;
  const char* name = *start.logOption ? start.logOption : settings->logName;
  char defaultName[kStartPathMax + 1];
  if (!*name) {
    std::snprintf(defaultName, sizeof defaultName, "%s.log", start.executableBaseName);
    name = defaultName;
  }
  char* path = ExpandAgainst(name, start.executableFolder);
  InstallLogFileCalls();
  const BOOL opened = ZEQGlobalLog()->Open(path, true);
  if (!opened && !settings->logIgnoreErrors) {
    // The log has no file: the box names the path that failed.
    char failed[kStartPathMax + 1];
    CopyStartPath(failed, path);
    HeapFreeZ(path);
    Fail(kStartLogOpenFailed, failed);
  }
  HeapFreeZ(path);
  ZEQGlobalLog()->FlushPending();
}

// The executable's own package, when its signature resource carries one.
void CheckSignature(StartupValues& start) {
  KESTOSetNakedStart(start.allowUnenciphered);
  if (!KESTOCheckSignature()) Fail(kStartSignatureFailed);
  start.startupMode = KESTOIsSigned() ? 1 : 0;
}

void ReadIpcIdentifier(StartupValues& start) {
  if (*start.ipcId) return;
  char option[kStartupOptionSize];
  GetStartupOption("ipcid", option, start.untrimmedCommandLine);
  CopyStartPath(start.ipcId, *option ? option : ZEQInstanceNameBuffer());
}

void StartIpc(StartupValues& start) {
  if (!*start.ipcId) return;
  if (!StartPipeServer(start.ipcId)) Fail(kStartPipeServerFailed);
  const char* open = std::strstr(start.ipcId, ".ZEQ{");
  const char* close = open ? std::strstr(open, "}.") : nullptr;
  if (!open || !close) return;
  if (_stricmp(close + 1, ".setup") == 0) {
    ZEQLogPrintf("MonitorMainProcess: Setup \"%s\" must not monitor its associated process id.", start.ipcId);
    return;
  }
  const size_t length = static_cast<size_t>(close + 1 - open);
  std::memcpy(start.mainInstanceName, open, length < kStartPathMax ? length : kStartPathMax);
  start.mainInstanceName[length < kStartPathMax ? length : kStartPathMax] = '\0';
  HANDLE thread = CreateThread(nullptr, 0, MonitorMainProcess, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void CreateMainWindow(StartupValues& start) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  if (!InitCommonControlsEx(&controls)) Fail(kStartCommonControlsFailed);
  if (!IsBrowserVersionSupported()) Fail(kStartBrowserTooOld);
  if (!ZEQRegisterWindowClasses()) Fail(kStartClassOrTableFailed);
  if (!RegisterMainWindowClass()) Fail(kStartMainClassFailed);
  HWND window = CreateWindowExt(0, kMainWindowClassName, "", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, -1024, -1024,
                                10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window) Fail(kStartMainWindowFailed);
  start.mainWindow = window;
  WSADATA sockets;
  if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) Fail(kStartSocketsFailed);
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  if (!RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) {
    Fail(kStartDeviceNotificationFailed);
  }
  if (FAILED(ZEQCreateGlobalInterfaceTable())) Fail(kStartClassOrTableFailed);
}

}  // namespace

StartupValues& Startup() {
  static StartupValues* values = [] {
    auto* made = new StartupValues();
    made->loaderFromCommandLine = true;
    return made;
  }();
  return *values;
}

int InitializeApplication(const char* commandLine) {
  StartupValues& start = Startup();
  OleInitialize(nullptr);
  if (!KESTOLoadDynamicAPIs()) Fail(kStartDynamicApisFailed);
  start.untrimmedCommandLine = StrDupExtra(commandLine ? commandLine : "", 0);
  start.commandLine = StrDupExtra(commandLine ? commandLine : "", 0);
  TrimBlanks(start.commandLine);
  SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
  HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  CPINFO codePage = {};
  if (GetCPInfo(GetACP(), &codePage) && codePage.MaxCharSize > 2) Fail(kStartCodePageUnsupported, LogPath());
  if (auto noCache = reinterpret_cast<void(WINAPI*)()>(ZEQDynamicAPI("SetOaNoCache"))) noCache();
  if (timeBeginPeriod(1) != TIMERR_NOERROR) Fail(kStartTimerResolutionFailed, LogPath());
  GetLocalTime(&start.startTime);
  DeriveExecutablePaths(start);
  SetPathAlias("kesto", start.executableFolder, 1);
  DeriveTemporaryFolder(start);
  start.applicationIdentity = static_cast<uint8_t*>(HeapAllocZ(kApplicationIdentitySize));
  RegisterSystemMacros(start);

  char option[kStartupOptionSize];
  GetStartupOption("id", start.idOption, start.commandLine);
  if (*start.idOption) ZEQSetExplicitInstanceName(start.idOption);
  GetStartupOption("restart", option, start.commandLine);
  start.restart = _stricmp(option, "true") == 0;
  GetStartupOption("log", start.logOption, start.commandLine);
  // Every option leaves the command line before the loader is taken from
  // it, so "ipcid" is read here too (an empty one is looked for again later).
  GetStartupOption("ipcid", start.ipcId, start.commandLine);
  ReadStartupDefinitionsFile(start);
  GetStartupOption("opt", start.optOption, start.commandLine);
  start.allowUnenciphered = StrStrNoCase(start.optOption, "naked") != nullptr;
  if (StrStrNoCase(start.optOption, "noloader")) start.loaderFromCommandLine = false;
  ReadPackageKeys(start);
  ComposeApplicationBanner(start.executablePath);
  OpenLogFile(start);
  GetVirtualRootFolder(VirtualRootBuffer());
  // Paths inside the package, and the loader's in-memory pages, live under
  // the virtual root.
  SetPackageRoot(VirtualRootBuffer());
  CheckSignature(start);
  KESTOAdjustLoader();

  ZEQSetLogSizeLimit(start.startupMode == 1 ? kZEQLogSignedSizeLimit : kZEQLogNoSizeLimit);
  if (DefinitionsList* list = GetStartupDefinitions()) ReadLogMaxSize(list);
  if (ZEQGetLogSizeLimit() == kZEQLogNoSizeLimit) {
    ZEQLogPrintf("Log Size Limit: INFINITE");
  } else {
    ZEQLogPrintf("Log Size Limit: %d Bytes", int(ZEQGetLogSizeLimit()));
  }
  SeedRandomWithIdentity();
  ReadIpcIdentifier(start);
  if (!StartTimerThread()) return 0;
  CreateMainWindow(start);
  ZEQInstallScriptCalls();
  ZEQInstallBrowserContainers();
  InstallProcessMembers();
  ZEQInstallFileSystemFunctions();
  ZEQInstallWindowFunctions();
  ZEQInstallHostObject();
  StartIpc(start);
  return 1;
}

int ApplicationMain(const char* commandLine) {
  if (InitializeApplication(commandLine)) {
    if (FAILED(ZEQRegisterProtocol()) || !RegisterDispatchExClassFactory()) Fail(kStartDummyClassOrHostingFailed);
    PostMessageA(Startup().mainWindow, WM_COMMAND, kCommandOpenLoader, reinterpret_cast<LPARAM>(GetFocus()));
    GetMessageExt(Startup().mainWindow, nullptr);
    ReleaseBrowserHostAndPackage();
  }
  ZEQFinalizeUI();
  return static_cast<int>(ZEQGetExitCode());
}
