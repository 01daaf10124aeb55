// The process's spine: the entry, the start-up sequence, the choice of the
// loader and its package, the loader container, and the values start-up
// derives for the rest of the run.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Start-up failures (KESTOError codes).
constexpr uint32_t kStartLoaderCheckFailed = 0x80000001;
constexpr uint32_t kStartCommonControlsFailed = 0x80000002;
constexpr uint32_t kStartDynamicApisFailed = 0x80000004;
constexpr uint32_t kStartBrowserTooOld = 0x80000005;
constexpr uint32_t kStartLogOpenFailed = 0x80000006;
constexpr uint32_t kStartSocketsFailed = 0x80000007;
constexpr uint32_t kStartMainClassFailed = 0x80000008;
constexpr uint32_t kStartMainWindowFailed = 0x80000009;
constexpr uint32_t kStartDeviceNotificationFailed = 0x8000000A;
constexpr uint32_t kStartLoaderWindowDead = 0x8000000C;
constexpr uint32_t kStartLoaderContainerFailed = 0x8000000D;
constexpr uint32_t kStartClassOrTableFailed = 0x8000000E;
constexpr uint32_t kStartDummyClassOrHostingFailed = 0x8000000F;
constexpr uint32_t kStartSignatureFailed = 0x80000012;
constexpr uint32_t kStartCodePageUnsupported = 0x80000014;
constexpr uint32_t kStartTimerResolutionFailed = 0x80000015;
constexpr uint32_t kStartPackageMountFailed = 0x80000016;
constexpr uint32_t kStartLoaderDefinitionsMissing = 0x80000019;
constexpr uint32_t kStartPipeServerFailed = 0x8000001A;

// The main window's commands.
constexpr WORD kCommandOpenLoader = 1000;
constexpr WORD kCommandTerminate = 1001;

constexpr size_t kStartPathMax = MAX_PATH;  // buffers hold one byte more
constexpr size_t kApplicationIdentitySize = 16488;

struct StartupValues {
  char* commandLine;           // heap text, trimmed (after the program path)
  char* untrimmedCommandLine;  // heap text, as given
  char executablePath[kStartPathMax + 1];  // lower case, backslashes
  char executableFileName[kStartPathMax + 1];
  char executableBaseName[kStartPathMax + 1];
  char executableFolder[kStartPathMax + 1];
  char executableShortPath[kStartPathMax + 1];
  char temporaryFolder[kStartPathMax + 1];
  SYSTEMTIME startTime;
  char loaderPath[kStartPathMax + 1];
  char loaderFolder[kStartPathMax + 1];
  char loaderFileName[kStartPathMax + 1];
  char loaderBaseName[kStartPathMax + 1];
  char loaderTemplatePath[kStartPathMax + 1];
  char loaderDefinitionsPath[kStartPathMax + 1];
  char definitionsFolder[kStartPathMax + 1];
  char instanceFilePath[kStartPathMax + 1];
  size_t instanceFilePathLength;
  char logOption[kStartPathMax + 1];
  char optOption[kStartPathMax + 1];
  char definitionsPath[kStartPathMax + 1];
  char idOption[kStartPathMax + 1];
  char ipcId[kStartPathMax + 1];
  char mainInstanceName[kStartPathMax + 1];  // the main instance a child watches
  char packagePassword[65];
  bool packageCompress;
  bool packageEncrypt;
  char packageManifest[kStartPathMax + 1];
  bool allowUnenciphered;     // "naked"
  bool loaderFromCommandLine; // cleared by "noloader"
  bool restart;
  uint32_t startupMode;       // 0: no package inside the executable
  bool packageMounted;
  uint8_t* applicationIdentity;  // kApplicationIdentitySize bytes
  HWND mainWindow;
};

// The one instance of the process.
StartupValues& Startup();

// The whole run: initialisation, browser hosting, the loader command, the
// main loop and the orderly teardown; the process exit code.
int ApplicationMain(const char* commandLine);
// 1 on success, 0 when the timer thread did not start; any other failure
// ends the process through KESTOError.
int InitializeApplication(const char* commandLine);
// Chooses the loader and its package; 1 (failures end the process).
int KESTOAdjustLoader();
// The main window's command 1000: the hidden loader container; 0 (failures
// end the process).
int OpenLoaderContainer();

// The name the tests and users set to run without anyone at the screen:
// the error box then writes its text to the log instead of waiting.
constexpr char kUnattendedVariable[] = "ZEQ_UNATTENDED";
