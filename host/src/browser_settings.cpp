// Engine version tests and the registry settings of the browser engine.
#include "host/browser_settings.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "foundation/instance_name.h"
#include "foundation/log.h"
#include "host/dispatch_ex.h"
#include "host/renderer.h"
#include "host/zeq_protocol.h"
#include "package/system_queries.h"

namespace {

constexpr char kEngineKey[] = "Software\\Microsoft\\Internet Explorer";
constexpr char kFeatureRoot[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
constexpr DWORD kEmulationValue = 11001;

bool softwareRendering = false;
GUID sessionGuid = {};
DWORD dispatchRegistration = 0;

// The four numbers of a "Version" text; false when no field converts.
bool ParseVersion(const char* text, int* major, int* minor) {
  int parts[4] = {};
  if (!text || sscanf(text, "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]) < 1) return false;
  *major = parts[0];
  *minor = parts[1];
  return true;
}

bool ReadVersionText(char* buffer, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD length = size - 1;
  const LONG status = RegQueryValueExA(key, "Version", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return false;
  buffer[length < size ? length : size - 1] = 0;
  return true;
}

int SystemDefaultVersion() {
  int version = 5;
  if (IsWindowsXPOrLater()) version = 6;
  if (IsWindowsVistaOrLater()) version = 7;
  return version;
}

void SetText(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text)));
}

void SetNumber(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

HKEY CreateKey(const char* path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

void ContainerKey(char* buffer, size_t size, bool ownPages, const char* leaf) {
  ZEQOptionKeyPath(ownPages, buffer, size);
  strncat(buffer, leaf, size - strlen(buffer) - 1);
}

void WriteMainValues(const char* path) {
  HKEY key = CreateKey(path);
  if (!key) return;
  SetNumber(key, "SmoothScroll", 1);
  SetNumber(key, "XMLHTTP", 1);
  SetNumber(key, "UseThemes", 1);
  SetNumber(key, "UseSWRender", softwareRendering ? 1 : 0);
  WriteScriptDebuggerSettings(key);
  static const char* const texts[][2] = {
      {"Display Inline Images", "yes"},
      {"Enable AutoImageResize", "yes"},
      {"Error Dlg Details Pane Open", "yes"},
      {"Error Dlg Displayed On Every Error", "no"},
      {"Friendly http errors", "yes"},
      {"Save_Session_History_On_Exit", "no"},
      {"Delete_Temp_Files_On_Exit", "yes"},
      {"Use FormSuggest", "no"},
      {"UseClearType", "no"},
      {"UseThemes", "yes"},
      {"Use_Async_DNS", "yes"},
      {"Enable_Disk_Cache", "no"},
      {"Use_DlgBox_Colors", "no"},
  };
  for (const auto& value : texts) SetText(key, value[0], value[1]);
  RegCloseKey(key);
}

void WriteColourValues(const char* path, const char* textColour) {
  HKEY key = CreateKey(path);
  if (!key) return;
  SetText(key, "Anchor Color", "0,0,255");
  SetText(key, "Anchor Color Hover", "255,0,0");
  SetText(key, "Anchor Color Visited", "128,128,128");
  SetText(key, "Background Color", "255,255,255");
  SetText(key, "Text Color", textColour);
  SetText(key, "Use Anchor Hover Color", "no");
  RegCloseKey(key);
}

// The engine's message text: string 8028 of the engine's resources.
void LoadEngineMessageText() {
  char text[1024] = {};
  for (const char* module : {"MSHTML.DLL", "IEFRAME.DLL"}) {
    HMODULE library = LoadLibraryExA(module, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!library) continue;
    const int length = LoadStringA(library, 8028, text, sizeof text);
    FreeLibrary(library);
    if (length > 0) break;
  }
  ZEQSetEngineMessageText(text);
}

}  // namespace

const char* const kZEQResetFeatures[20] = {
    "FEATURE_BROWSER_EMULATION",      "FEATURE_MAXCONNECTIONSPER1_0SERVER",
    "FEATURE_MAXCONNECTIONSPERSERVER", "FEATURE_SCRIPTURL_MITIGATION",
    "FEATURE_LOCALMACHINE_LOCKDOWN",  "FEATURE_OBJECT_CACHING",
    "FEATURE_MANAGE_SCRIPT_CIRCULAR_REFS", "FEATURE_GPU_RENDERING",
    "FEATURE_WEBOC_DOCUMENT_ZOOM",    "FEATURE_IVIEWOBJECTDRAW_DMLT9_WITH_GDI",
    "FEATURE_BLOCK_LMZ_IMG",          "FEATURE_BLOCK_LMZ_OBJECT",
    "FEATURE_BLOCK_LMZ_SCRIPT",       "FEATURE_MIME_SNIFFING",
    "FEATURE_MIME_HANDLING",          "FEATURE_STATUS_BAR_THROTTLING",
    "FEATURE_VALIDATE_NAVIGATE_URL",  "FEATURE_XDOMAINREQUEST",
    "FEATURE_XMLHTTP",                "FEATURE_ZONE_ELEVATION",
};

void ZEQSetSoftwareRendering(bool on) { softwareRendering = on; }

const char* ZEQExecutableFileName() {
  static char name[MAX_PATH] = {};
  if (!name[0]) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* slash = strrchr(path, '\\');
    lstrcpynA(name, slash ? slash + 1 : path, MAX_PATH);
  }
  return name;
}

int BrowserVersionFromText(const char* text, int systemDefault) {
  int major = 0;
  int minor = 0;
  if (!ParseVersion(text, &major, &minor)) return systemDefault;
  if (major < 9) return major;
  switch (minor) {
    case 0: return 9;
    case 10: return 10;
    case 11: return 11;
    default: return systemDefault;
  }
}

BOOL BrowserVersionSupportedFromText(const char* text) {
  int major = 0;
  int minor = 0;
  if (!ParseVersion(text, &major, &minor)) return TRUE;
  if (major < 5 || (major == 5 && minor != 50)) return FALSE;
  return TRUE;
}

int GetBrowserVersion() {
  char text[65] = {};
  return BrowserVersionFromText(ReadVersionText(text, sizeof text) ? text : nullptr, SystemDefaultVersion());
}

BOOL IsBrowserVersionAtLeast(int version) { return GetBrowserVersion() >= version ? TRUE : FALSE; }

BOOL IsBrowserVersionSupported() {
  char text[65] = {};
  return BrowserVersionSupportedFromText(ReadVersionText(text, sizeof text) ? text : nullptr);
}

int WriteScriptDebuggerSettings(HKEY key) {
  SetText(key, "Disable Script Debugger", "yes");
  SetText(key, "DisableScriptDebuggerIE", "yes");
  SetNumber(key, "SuppressScriptDebuggerDialog", 1);
  return 1;
}

int ApplyBrowserFeatureSettings() {
  char path[2049];
  const char* executable = ZEQExecutableFileName();
  for (const char* feature : kZEQResetFeatures) {
    snprintf(path, sizeof path, "%s%s", kFeatureRoot, feature);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) continue;
    RegDeleteValueA(key, executable);
    RegCloseKey(key);
  }
  static const struct {
    bool ownPages;
    const char* leaf;
  } containerKeys[] = {{true, "\\Main"}, {true, "\\Settings"}, {false, "\\Main"}, {false, "\\Settings"}};
  for (const auto& entry : containerKeys) {
    ContainerKey(path, sizeof path, entry.ownPages, entry.leaf);
    RegDeleteTreeA(HKEY_CURRENT_USER, path);
  }
  // The emulated engine version: this executable's value only.
  snprintf(path, sizeof path, "%sFEATURE_BROWSER_EMULATION", kFeatureRoot);
  if (HKEY key = CreateKey(path)) {
    SetNumber(key, executable, kEmulationValue);
    RegCloseKey(key);
  }
  // The script debugger settings and the compatibility modes of the user's
  // own browser stay as the user set them: the container's keys below carry
  // what this program needs.
  ContainerKey(path, sizeof path, true, "\\Main");
  WriteMainValues(path);
  ContainerKey(path, sizeof path, false, "\\Main");
  WriteMainValues(path);
  ContainerKey(path, sizeof path, true, "\\Settings");
  WriteColourValues(path, "255,255,255");
  ContainerKey(path, sizeof path, false, "\\Settings");
  WriteColourValues(path, "0,0,0");
  return 1;
}

int InitializeBrowserEngine() {
  OleInitialize(nullptr);
  const int version = GetBrowserVersion();
  ZEQLogPrintf("MSHTML Version Detected: %d", version);
  LoadEngineMessageText();
  if (FAILED(ZEQRegisterProtocol())) return 0;
  ApplyBrowserFeatureSettings();
  CoCreateGuid(&sessionGuid);
  dispatchRegistration = RegisterDispatchExClassFactory();
  return 1;
}
