// Shortcut files through the shell's link object (IShellLinkA and its
// IPersistFile).
#include "host/shell_links.h"

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cstring>

#include "foundation/log.h"

namespace {

template <typename T>
void ReleaseInterface(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

// The ANSI link path in UTF-16; false when it does not convert.
bool WidePath(const char* path, wchar_t (&wide)[512]) {
  if (!path || !*path) return false;
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 512) > 0;
}

HRESULT FillLink(IShellLinkA* link, const ShellLinkRecord* record) {
  HRESULT hr = S_OK;
  if (SUCCEEDED(hr) && record->targetPath[0]) hr = link->SetPath(record->targetPath);
  if (SUCCEEDED(hr) && record->description[0]) hr = link->SetDescription(record->description);
  if (SUCCEEDED(hr) && record->arguments[0]) hr = link->SetArguments(record->arguments);
  if (SUCCEEDED(hr) && record->workingFolder[0]) hr = link->SetWorkingDirectory(record->workingFolder);
  if (SUCCEEDED(hr) && record->iconLocation[0]) hr = link->SetIconLocation(record->iconLocation, record->iconIndex);
  if (SUCCEEDED(hr) && record->hotKey) hr = link->SetHotkey(record->hotKey);
  if (SUCCEEDED(hr) && record->showCommand) hr = link->SetShowCmd(int(record->showCommand));
  return hr;
}

}  // namespace

BOOL CreateShellLink(const ShellLinkRecord* record, const char* linkPath) {
  wchar_t wide[512];
  if (!record || !WidePath(linkPath, wide)) return FALSE;
  const HRESULT ole = OleInitialize(nullptr);
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link));
  if (SUCCEEDED(hr)) hr = FillLink(link, record);
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) hr = file->Save(wide, TRUE);
  ReleaseInterface(file);
  ReleaseInterface(link);
  if (SUCCEEDED(ole)) OleUninitialize();
  if (FAILED(hr)) ZEQLogPrintf("CreateShellLink: the link \"%s\" was not saved (0x%08lX)", linkPath, hr);
  return SUCCEEDED(hr);
}

BOOL ReadShellLink(ShellLinkRecord* record, const char* linkPath) {
  wchar_t wide[512];
  if (!record || !WidePath(linkPath, wide)) return FALSE;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link));
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) hr = file->Load(wide, STGM_READ);
  // A link that does not resolve has nothing trustworthy to report: a
  // success other than S_OK fails too, rather than answering with a
  // record nobody filled.
  if (SUCCEEDED(hr)) hr = link->Resolve(nullptr, SLR_NO_UI);
  if (hr == S_OK) {
    ShellLinkRecord read;
    std::memset(&read, 0, sizeof read);
    WIN32_FIND_DATAA found;
    int index = 0;
    int show = 0;
    WORD hotKey = 0;
    if (SUCCEEDED(hr)) hr = link->GetPath(read.targetPath, sizeof read.targetPath - 1, &found, SLGP_UNCPRIORITY);
    if (SUCCEEDED(hr)) hr = link->GetDescription(read.description, sizeof read.description - 1);
    if (SUCCEEDED(hr)) hr = link->GetIconLocation(read.iconLocation, sizeof read.iconLocation - 1, &index);
    if (SUCCEEDED(hr)) hr = link->GetArguments(read.arguments, sizeof read.arguments - 1);
    if (SUCCEEDED(hr)) hr = link->GetWorkingDirectory(read.workingFolder, sizeof read.workingFolder - 1);
    if (SUCCEEDED(hr)) hr = link->GetShowCmd(&show);
    if (SUCCEEDED(hr)) hr = link->GetHotkey(&hotKey);
    if (SUCCEEDED(hr)) {
      read.iconIndex = index;
      read.showCommand = uint32_t(show);
      read.hotKey = hotKey;
      *record = read;
      hr = S_OK;
    }
  } else if (SUCCEEDED(hr)) {
    hr = E_FAIL;
  }
  ReleaseInterface(file);
  ReleaseInterface(link);
  if (FAILED(hr)) ZEQLogPrintf("ReadShellLink: the link \"%s\" was not read (0x%08lX)", linkPath, hr);
  return hr == S_OK;
}
