// The loader: which document and package the run starts on, and the hidden
// container that shows it.
#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "host/application_definitions.h"
#include "foundation/instance_name.h"
#include "host/instance_names.h"
#include "kesto/error_box.h"
#include "kesto/exit_teardown.h"
#include "kesto/instance_commands.h"
#include "kesto/startup.h"
#include "start_paths.h"
#include "package/application_settings.h"
#include "package/definitions_list.h"
#include "package/application_package.h"
#include "package/definitions_reader.h"
#include "package/signature.h"
#include "package/package.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/templates.h"
#include "package/vfs.h"
#include "host/browser_container.h"
#include "host/browser_events.h"
#include "host/containers.h"
#include "windows/container_windows.h"
#include "windows/records.h"

using kesto::CopyStartPath;
using kesto::NormalizeStartPath;
using kesto::ShortenStartPath;

namespace {

constexpr char kDefinitionsMissing[] = "Arquivo de defini\xE7\xF5" "es do Loader (.DEF) n\xE3o encontrado!";
constexpr uint32_t kLoaderFlags = 0x4611B880;

// The first parameter of the command line (a quoted text or a run of
// non-blanks), taken out of it.
void TakeParameter(char* line, char* value) {
  value[0] = '\0';
  char* start = line;
  while (*start == ' ' || *start == '\t') ++start;
  char* end = start;
  if (*start == '"') {
    end = std::strchr(start + 1, '"');
    end = end ? end + 1 : start + std::strlen(start);
  } else {
    while (*end && *end != ' ' && *end != '\t') ++end;
  }
  const size_t length = static_cast<size_t>(end - start);
  const size_t kept = length < kStartPathMax ? length : kStartPathMax;
  std::memcpy(value, start, kept);
  value[kept] = '\0';
  std::memmove(line, end, std::strlen(end) + 1);
  TrimBlanks(line);
}

bool MountedRootHoldsFiles() {
  ZEQList* mounts = VFSMountList();
  return mounts && mounts->count > 0;
}

// Opens the package file; on success it replaces any package of the
// executable and becomes the application's package.
bool OpenPackageFile(const char* path) {
  if (!PathFileExistsExt(path)) return false;
  ZEQPackageDATA* package = ZEQPackageOpen(path, nullptr, nullptr, 0);
  if (!package) {
    ZEQLogPrintf("KESTOAdjustLoader: [FAILED] the package \"%s\" does not open", path);
    return false;
  }
  if (ZEQPackageDATA* previous = ZEQGetApplicationPackage()) ZEQPackageRelease(previous);
  ZEQSetApplicationPackage(package);
  return true;
}

// Milliseconds since this process was created.
unsigned MillisecondsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = created.dwLowDateTime;
  a.HighPart = created.dwHighDateTime;
  b.LowPart = now.dwLowDateTime;
  b.HighPart = now.dwHighDateTime;
  return b.QuadPart > a.QuadPart ? static_cast<unsigned>((b.QuadPart - a.QuadPart) / 10000) : 0;
}

// The loader's first completed document: the browser's events have opened
// its page to calls of the host; the start-up's time is logged once.
void LoaderDocumentComplete(HWND hostWindow, const char*) {
  if (hostWindow != ZEQLoaderHostWindow()) return;
  ZEQSetTopDocumentCompleteObserver(nullptr);
  ZEQLogPrintf("OpenLoaderContainer: DocumentComplete - \"%s\" - %u ms after the process started",
               Startup().loaderPath, MillisecondsSinceProcessStart());
}

}  // namespace

int KESTOAdjustLoader() {
  StartupValues& start = Startup();
  std::snprintf(start.instanceFilePath, sizeof start.instanceFilePath, "%s\\appid.%d.ic", start.executableFolder,
                int(GetCurrentProcessId()));
  start.instanceFilePathLength = std::strlen(start.instanceFilePath);
  char loader[kStartPathMax + 1] = "";
  if (start.startupMode == 0) {
    TrimBlanks(start.commandLine);
    if (start.loaderFromCommandLine && *start.commandLine) TakeParameter(start.commandLine, loader);
  } else {
    StrCopyN(loader, KESTOGetSignatureData()->loaderPath, sizeof loader);
  }
  // An unfilled file-association placeholder stands for nothing.
  if (_stricmp(TrimAndUnquote(loader), "%1") == 0) TakeParameter(start.commandLine, loader);
  TrimAndUnquote(loader);
  char expanded[kStartPathMax + 1];
  const DWORD size = ExpandEnvironmentStringsA(loader, expanded, sizeof expanded);
  if (size && size <= sizeof expanded) CopyStartPath(loader, expanded);

  char packageFile[kStartPathMax + 1];
  if (HasExtension(loader, "pkg")) {
    CopyStartPath(packageFile, loader);
    loader[0] = '\0';
  } else {
    std::snprintf(packageFile, sizeof packageFile, "%s\\%s.pkg", start.executableFolder, start.executableBaseName);
  }
  OpenPackageFile(packageFile);
  if (ZEQPackageDATA* package = ZEQGetApplicationPackage()) {
    if (!*start.idOption) {
      if (package->custom[0]) ZEQSetInstanceName(package->custom);
    }
    InstanceHandOff(*start.idOption ? start.idOption : ZEQInstanceNameBuffer());
    if (!MountApplicationPackage(package, "", 0)) KESTOError(nullptr, kStartPackageMountFailed, ZEQGlobalLog()->path, 1);
    start.packageMounted = true;
    if (!*loader) std::snprintf(loader, sizeof loader, "%s\\Loader.html", VirtualRootBuffer());
  }
  if (!*loader) std::snprintf(loader, sizeof loader, "%s\\Loader.html", start.executableFolder);
  if (IsUnresolvedRelativePath(loader)) {
    const char* root = MountedRootHoldsFiles() ? VirtualRootBuffer() : start.executableFolder;
    char rooted[kStartPathMax + 1];
    std::snprintf(rooted, sizeof rooted, loader[0] == '\\' ? "%s%s" : "%s\\%s", root, loader);
    CopyStartPath(loader, rooted);
  }

  CopyStartPath(start.loaderPath, loader);
  CopyStartPath(start.loaderFolder, loader);
  StrReplaceChar(start.loaderFolder, '/', '\\');
  char* cut = std::strrchr(start.loaderFolder, '\\');
  CopyStartPath(start.loaderFileName, cut ? cut + 1 : start.loaderFolder);
  if (cut) *cut = '\0';
  CopyStartPath(start.loaderBaseName, start.loaderFileName);
  if (char* dot = std::strrchr(start.loaderBaseName, '.')) *dot = '\0';
  NormalizeStartPath(start.loaderPath);
  NormalizeStartPath(start.loaderFolder);
  ZEQLogPrintf("KESTOAdjustLoader: Adjusted to \"%s\"", start.loaderPath);
  ShortenStartPath(start.loaderFolder);

  std::snprintf(start.loaderTemplatePath, sizeof start.loaderTemplatePath, "%s\\%s.hdc", start.loaderFolder,
                start.loaderBaseName);
  SetPathAlias("loader", start.loaderFolder, 1);
  char system[kStartPathMax + 1];
  std::snprintf(system, sizeof system, "%s\\system", start.loaderFolder);
  SetPathAlias("system", system, 1);

  std::snprintf(start.loaderDefinitionsPath, sizeof start.loaderDefinitionsPath, "%s\\%s.def", start.loaderFolder,
                start.loaderBaseName);
  DefinitionsList* definitions = nullptr;
  if (PathFileExistsExt(start.loaderDefinitionsPath)) {
    definitions = ParseDefinitionsFile(0, start.loaderDefinitionsPath, 0, nullptr, 0);
  } else if (!HasExtension(start.loaderFileName, "zeq")) {
    KESTOError(kDefinitionsMissing, kStartLoaderDefinitionsMissing, ZEQGlobalLog()->path, 1);
  }
  if (definitions) SetLoaderDefinitions(definitions);
  ReadApplicationDefinitions(definitions);
  BuildInstanceName();
  if (!start.packageMounted) InstanceHandOff(ZEQInstanceNameBuffer());
  return 1;
}

int OpenLoaderContainer() {
  StartupValues& start = Startup();
  if (!IsLoaderPackageFile(start.loaderPath)) {
    KESTOError(nullptr, kStartLoaderCheckFailed, start.loaderPath, 1);
  }
  if (PathFileExistsExt(start.loaderTemplatePath)) ParseTemplateFile(0, start.loaderTemplatePath, nullptr);
  RECT rect = {-16384, -16384, 0, 0};
  HWND window = nullptr;
  int result = 1;
  ZEQSetTopDocumentCompleteObserver(LoaderDocumentComplete);
  try {
    result = ZEQCreateContainerWindow(nullptr, GetApplicationSettings()->name, start.loaderPath, &rect, nullptr, "",
                                      kLoaderFlags, 0, &window, ZEQContainerHolder(), ZEQContainerHolder());
  } catch (...) {
    ZEQLogUnexpected("OpenLoaderContainer");
    result = 1;
  }
  if (result != 0) KESTOError(nullptr, kStartLoaderContainerFailed, nullptr, 1);
  if (!IsWindow(ZEQLoaderHostWindow())) KESTOError(nullptr, kStartLoaderWindowDead, nullptr, 1);
  return 0;
}
