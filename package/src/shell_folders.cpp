// Special folders: from the shell, else from the registry, in short form.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "package/paths.h"
#include "package/system_queries.h"
#include "package/vfs.h"

namespace {

constexpr int kNoShellFolder = -1;
constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct FolderSource {
  int kind;
  int csidl;  // kNoShellFolder: the registry only
  HKEY root;
  const char* key;
  const char* value;
};

const FolderSource kSources[] = {
    {kFolderProgramFiles, CSIDL_PROGRAM_FILES, HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir"},
    {kFolderCommonFiles, CSIDL_PROGRAM_FILES_COMMON, HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir"},
    {kFolderAppData, CSIDL_APPDATA, HKEY_CURRENT_USER, kShellFolders, "AppData"},
    {kFolderCommonAppData, CSIDL_COMMON_APPDATA, HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData"},
    {kFolderLocalAppData, CSIDL_LOCAL_APPDATA, HKEY_CURRENT_USER, kShellFolders, "Local AppData"},
    {kFolderLocalSettings, kNoShellFolder, HKEY_CURRENT_USER, kShellFolders, "Local Settings"},
    {kFolderDesktop, CSIDL_DESKTOPDIRECTORY, HKEY_CURRENT_USER, kShellFolders, "Desktop"},
    {kFolderCommonDesktop, CSIDL_COMMON_DESKTOPDIRECTORY, HKEY_LOCAL_MACHINE, kShellFolders, "Common Desktop"},
    {kFolderStartMenu, CSIDL_STARTMENU, HKEY_CURRENT_USER, kShellFolders, "Start Menu"},
    {kFolderCommonStartMenu, CSIDL_COMMON_STARTMENU, HKEY_LOCAL_MACHINE, kShellFolders, "Common Start Menu"},
    {kFolderPrograms, CSIDL_PROGRAMS, HKEY_CURRENT_USER, kShellFolders, "Programs"},
    {kFolderCommonPrograms, CSIDL_COMMON_PROGRAMS, HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"},
    {kFolderDocuments, CSIDL_PERSONAL, HKEY_LOCAL_MACHINE, kShellFolders, "Documents"},
    {kFolderCommonDocuments, CSIDL_COMMON_DOCUMENTS, HKEY_LOCAL_MACHINE, kShellFolders, "Common Documents"},
    {kFolderMusic, CSIDL_MYMUSIC, HKEY_LOCAL_MACHINE, kShellFolders, "Music"},
    {kFolderCommonMusic, CSIDL_COMMON_MUSIC, HKEY_LOCAL_MACHINE, kShellFolders, "Common Music"},
    {kFolderVideos, CSIDL_MYVIDEO, HKEY_LOCAL_MACHINE, kShellFolders, "Videos"},
    {kFolderCommonVideos, CSIDL_COMMON_VIDEO, HKEY_LOCAL_MACHINE, kShellFolders, "Common Videos"},
    {kFolderPictures, CSIDL_MYPICTURES, HKEY_LOCAL_MACHINE, kShellFolders, "Pictures"},
    {kFolderCommonPictures, CSIDL_COMMON_PICTURES, HKEY_LOCAL_MACHINE, kShellFolders, "Common Pictures"},
};

const FolderSource* FindSource(int kind) {
  for (const FolderSource& source : kSources) {
    if (source.kind == kind) return &source;
  }
  return nullptr;
}

BOOL TempFolder(char* out) {
  if (!GetTempPathA(MAX_PATH, out)) {
    ZEQLogPrintf("GetWindowsTempPath: [FAILED] - ErrorCode: %lu", static_cast<unsigned long>(GetLastError()));
    out[0] = '\0';
    return FALSE;
  }
  RemoveTrailingBackslash(out);
  return TRUE;
}

// The registry value as stored (environment strings are not expanded).
bool ReadRegistryFolder(const FolderSource& source, char* out) {
  HKEY key;
  if (RegOpenKeyExA(source.root, source.key, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = MAX_PATH;
  const LONG result = RegQueryValueExA(key, source.value, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    out[0] = '\0';
    return false;
  }
  out[size < MAX_PATH ? size : MAX_PATH] = '\0';
  return out[0] != '\0';
}

// "<local application data>\VirtualStore\<program files without its drive root>".
BOOL VirtualStoreFolder(char* out) {
  char localAppData[MAX_PATH + 1];
  char programFiles[MAX_PATH + 1];
  if (!GetSpecialFolderPath(kFolderLocalAppData, localAppData) ||
      !GetSpecialFolderPath(kFolderProgramFiles, programFiles)) {
    return FALSE;
  }
  const char* relative = std::strlen(programFiles) > 3 ? programFiles + 3 : "";
  const int n = std::snprintf(out, MAX_PATH + 1, "%s\\VirtualStore\\%s", localAppData, relative);
  if (n < 0 || n > MAX_PATH) {
    // Too long for the folder buffer: no cut path.
    out[0] = '\0';
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL GetSpecialFolderPath(int kind, char* out) {
  if (!out) return FALSE;
  out[0] = '\0';
  switch (kind) {
    case kFolderTemp:
    case kFolderTempAlias:
      return TempFolder(out);
    case kFolderVirtualStore:
      return VirtualStoreFolder(out);
    case kFolderWindows:
    case kFolderSystem: {
      const UINT length = kind == kFolderWindows ? GetWindowsDirectoryA(out, MAX_PATH) : GetSystemDirectoryA(out, MAX_PATH);
      if (length <= MAX_PATH) return length;
      out[0] = '\0';  // the buffer was too small and holds nothing
      return FALSE;
    }
    default:
      break;
  }
  const FolderSource* source = FindSource(kind);
  if (!source) return FALSE;
  if (source->csidl != kNoShellFolder && SHGetSpecialFolderPathA(nullptr, out, source->csidl, FALSE) && out[0]) {
    GetShortPathNameExt(out, out, MAX_PATH);
    return TRUE;
  }
  out[0] = '\0';
  if (!ReadRegistryFolder(*source, out)) return FALSE;
  GetShortPathNameExt(out, out, MAX_PATH);
  return TRUE;
}
