// File-system queries for page script: what a path is (sizes, counts,
// attributes, times, short and long names), a folder's children, the
// oldest or newest file of a tree, attributes in script's own bits, and the
// drive of a device name.
#include <cstdio>
#include <string>
#include <vector>

#include "file_call.h"
#include "foundation/text.h"
#include "package/file_trees.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace zeqfiles {
namespace {

struct AttributeBit {
  uint32_t script;
  DWORD file;
};
constexpr AttributeBit kAttributeBits[] = {
    {0x01, FILE_ATTRIBUTE_NORMAL},  {0x02, FILE_ATTRIBUTE_ARCHIVE},           {0x04, FILE_ATTRIBUTE_READONLY},
    {0x08, FILE_ATTRIBUTE_HIDDEN},  {0x10, FILE_ATTRIBUTE_SYSTEM},            {0x20, FILE_ATTRIBUTE_OFFLINE},
    {0x40, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}, {0x80, FILE_ATTRIBUTE_TEMPORARY},
};

DWORD ScriptToFileAttributes(uint32_t bits) {
  DWORD attributes = 0;
  for (const AttributeBit& bit : kAttributeBits) {
    if (bits & bit.script) attributes |= bit.file;
  }
  return attributes;
}

uint32_t FileAttributesToScript(DWORD attributes) {
  uint32_t bits = 0;
  for (const AttributeBit& bit : kAttributeBits) {
    if (attributes & bit.file) bits |= bit.script;
  }
  return bits;
}

bool IsFolder(const WIN32_FIND_DATAA& found) { return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Calls visit for every entry of the folder whose name does not begin with
// '.'; false when the folder cannot be listed.
template <typename Visit>
bool ListFolder(const std::string& folder, Visit visit) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    if (found.cFileName[0] == '.') continue;
    visit(found);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return true;
}

bool ListFolderChildren(const std::string& folder, bool recursive, std::vector<std::string>* texts) {
  bool ok = true;
  const bool listed = ListFolder(folder, [&](const WIN32_FIND_DATAA& found) {
    const std::string path = folder + "\\" + found.cFileName;
    texts->push_back((IsFolder(found) ? "folder://" : "file://") + path);
    if (IsFolder(found) && recursive) ok = ListFolderChildren(path, true, texts) && ok;
  });
  return listed && ok;
}

struct AgeSearch {
  const char* patterns;
  int32_t mode;
  std::string path;
  FILETIME created{};
};

void FindFileByAge(const std::string& folder, AgeSearch* search) {
  ListFolder(folder, [&](const WIN32_FIND_DATAA& found) {
    const std::string path = folder + "\\" + found.cFileName;
    // The pattern list picks files; folders are only walked through, so that
    // "*.log" also finds the logs of sub-folders.
    if (IsFolder(found)) {
      if (search->mode & 0x1) FindFileByAge(path, search);
      return;
    }
    if (!WildcardMatchList(search->patterns, path.c_str(), 0)) return;
    bool take = search->path.empty();
    if (!take && (search->mode & 0x2)) take = CompareFileTime(&found.ftCreationTime, &search->created) < 0;
    else if (!take && (search->mode & 0x4)) take = CompareFileTime(&found.ftCreationTime, &search->created) > 0;
    if (take) {
      search->path = path;
      search->created = found.ftCreationTime;
    }
  });
}

HRESULT GetFileByAge(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText folder(args.Path(0));
  HeapText patterns(args.Count() > 1 ? args.Text(1) : nullptr);
  if (folder.empty()) return outcome.Deliver(result);
  RemoveTrailingBackslash(folder.get());
  AgeSearch search{patterns.get(), args.Int(2), std::string()};
  FindFileByAge(folder.get(), &search);
  if (search.path.empty() || !PathFileExistsExt(search.path.c_str())) return outcome.Deliver(result);
  FILETIME local;
  SYSTEMTIME time;
  if (!FileTimeToLocalFileTime(&search.created, &local) || !FileTimeToSystemTime(&local, &time)) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", time.wDay, time.wMonth, time.wYear, time.wHour,
                time.wMinute, time.wSecond);
  outcome.Succeed();
  outcome.Array()->AppendStringA(search.path.c_str());
  outcome.Array()->AppendStringA(text);
  return outcome.Deliver(result);
}

HRESULT GetFSInfo(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText path(args.Path(0));
  const int32_t flags = args.Int(1);
  if (path.empty()) return outcome.Deliver(result);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(path.get(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  FindClose(find);
  double total = 0;
  uint32_t folders = 0;
  uint32_t files = 0;
  const bool folder = IsFolder(found);
  if (folder) {
    GetFolderStatistics(path.get(), &total, &folders, &files, uint32_t(flags & 0x1));
  } else {
    total = double((uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  }
  char shortPath[kZEQPathBufferSize] = {};
  char longPath[kZEQPathBufferSize] = {};
  GetShortPathNameExt(path.get(), shortPath, sizeof shortPath);
  GetLongPathNameA(path.get(), longPath, sizeof longPath);
  const bool local = !(flags & 0x2);
  JSArray* array = outcome.Array();
  outcome.Succeed();
  array->AppendBool(folder);
  array->AppendDouble(total);
  array->AppendUInt(folders);
  array->AppendUInt(files);
  array->AppendUInt(FileAttributesToScript(found.dwFileAttributes));
  array->AppendFileTime(&found.ftCreationTime, local);
  array->AppendFileTime(&found.ftLastAccessTime, local);
  array->AppendFileTime(&found.ftLastWriteTime, local);
  array->AppendStringA(shortPath);
  array->AppendStringA(longPath);
  return outcome.Deliver(result);
}

HRESULT EnumChildren(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText folder(args.Path(0));
  if (folder.empty()) return outcome.Deliver(result);
  RemoveTrailingBackslash(folder.get());
  std::vector<std::string> texts;
  if (!ListFolderChildren(folder.get(), (args.Int(1) & 0x1) != 0, &texts)) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  outcome.Succeed();
  for (const std::string& text : texts) outcome.Array()->AppendStringA(text.c_str());
  return outcome.Deliver(result);
}

HRESULT Attributes(DISPID id, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText path(args.Path(0));
  if (path.empty()) return outcome.Deliver(result);
  if (id == kSetFSAttributes) {
    outcome.FromStep(SetFileAttributesA(path.get(), ScriptToFileAttributes(uint32_t(args.Int(1)))) != FALSE);
    return outcome.Deliver(result);
  }
  const DWORD attributes = GetFileAttributesExt(path.get());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    outcome.Fail(GetLastError());
  } else {
    outcome.Succeed();
    outcome.Array()->AppendUInt(FileAttributesToScript(attributes));
  }
  return outcome.Deliver(result);
}

HRESULT VolumeDriveOfDevice(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText device(args.Text(0));
  if (device.empty()) return outcome.Deliver(result);
  const DWORD drives = GetLogicalDrives();
  for (int bit = 0; bit < 26; ++bit) {
    if (!(drives & (1u << bit))) continue;
    char drive[3] = {char('A' + bit), ':', 0};
    char name[1024] = {};
    if (!QueryDosDeviceA(drive, name, sizeof name)) continue;
    if (lstrcmpiA(name, device.get()) == 0) {
      outcome.Succeed();
      outcome.Array()->AppendStringA(drive);
      break;
    }
  }
  return outcome.Deliver(result);
}

}  // namespace

HRESULT InvokeQueryFunction(DISPID id, const Arguments& args, VARIANT* result) {
  switch (id) {
    case kGetFSInfo:
      return GetFSInfo(args, result);
    case kEnumFSChildren:
      return EnumChildren(args, result);
    case kGetFileByAge:
      return GetFileByAge(args, result);
    case kSetFSAttributes:
    case kGetFSAttributes:
      return Attributes(id, args, result);
    case kVolDevToVolDrv:
      return VolumeDriveOfDevice(args, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqfiles
