// The file-system functions of the host object: the member table, the
// argument rules, and the plain file and folder operations; streams,
// queries, text files, ciphers and shortcuts live in files of their own.
#include "host/file_functions.h"

#include <cstring>

#include "file_call.h"
#include "script_class_support.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/host_object.h"
#include "package/file_retry.h"
#include "package/file_trees.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "windows/records.h"

namespace zeqfiles {

const VARIANT* Arguments::At(UINT index) const {
  if (index >= Count()) return nullptr;
  const VARIANT* value = &params_->rgvarg[params_->cArgs - 1 - index];
  while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  return value;
}

char* Arguments::Path(UINT index) const {
  const VARIANT* value = At(index);
  return value ? VariantToExpandedPath(value, 0, TRUE) : nullptr;
}

char* Arguments::Text(UINT index) const {
  const VARIANT* value = At(index);
  return value ? VariantToStrDup(value, 0) : nullptr;
}

int32_t Arguments::Int(UINT index, int32_t fallback) const {
  const VARIANT* value = At(index);
  if (!value || V_VT(value) == VT_EMPTY || V_VT(value) == VT_ERROR) return fallback;
  return VariantToInt(value);
}

uint32_t Arguments::Flags(UINT index) const {
  const VARIANT* value = At(index);
  if (!value || V_VT(value) == VT_EMPTY || V_VT(value) == VT_ERROR) return 0;
  return scriptclass::UnsignedArg(value);
}

Outcome::Outcome() : array_(JSArray::New()) { array_->AppendUInt(ZEQERROR_GENERALFAILURE); }

Outcome::~Outcome() { JSArray::Delete(array_); }

void Outcome::Succeed() { array_->ResetToUInt(ZEQERROR_NOERROR); }

void Outcome::Fail(DWORD error) {
  array_->ResetToUInt(ZEQERROR_GENERALFAILURE);
  array_->AppendUInt(error);
}

void Outcome::FromStep(bool ok) {
  const DWORD error = GetLastError();
  if (ok) {
    Succeed();
  } else {
    Fail(error);
  }
}

HRESULT Outcome::Deliver(VARIANT* result) {
  if (!result) return S_OK;
  JSArray::ToVariant(array_, result);
  return V_VT(result) == VT_EMPTY ? E_OUTOFMEMORY : S_OK;
}

HRESULT DeliverCode(VARIANT* result, int32_t code) {
  if (result) {
    V_VT(result) = VT_I4;
    V_I4(result) = code;
  }
  return S_OK;
}

}  // namespace zeqfiles

namespace {

using namespace zeqfiles;

struct Member {
  const wchar_t* name;
  DISPID id;
  UINT minArgs;
  UINT maxArgs;
};

// Trailing flags, modes and pattern lists may be left out (they count as 0
// and as "everything"); every other argument is required.
constexpr Member kMembers[] = {
    {L"ZEQCreateEmptyFSStream", kCreateEmptyFSStream, 0, 1},
    {L"ZEQCreateFSStreamByContents", kCreateFSStreamByContents, 1, 1},
    {L"ZEQOpenFSStream", kOpenFSStream, 2, 2},
    {L"ZEQCloseFSStream", kCloseFSStream, 1, 1},
    {L"ZEQSetFSStreamPointer", kSetFSStreamPointer, 3, 3},
    {L"ZEQReadFSStream", kReadFSStream, 2, 2},
    {L"ZEQWriteFSStream", kWriteFSStream, 2, 2},
    {L"ZEQSetEndOfFSStream", kSetEndOfFSStream, 1, 1},
    {L"ZEQGetFSInfo", kGetFSInfo, 1, 2},
    {L"ZEQEnumFSChildren", kEnumFSChildren, 1, 2},
    {L"ZEQFlushFSStream", kFlushFSStream, 1, 1},
    {L"ZEQIsFSFile", kIsFSFile, 1, 1},
    {L"ZEQIsFSDirectory", kIsFSDirectory, 1, 1},
    {L"ZEQCreateDirectory", kCreateDirectory, 1, 1},
    {L"ZEQCreateParentDirectory", kCreateParentDirectory, 1, 1},
    {L"ZEQDeleteDirectory", kDeleteDirectory, 1, 3},
    {L"ZEQCopyDirectory", kCopyDirectory, 2, 3},
    {L"ZEQMoveDirectory", kMoveDirectory, 2, 2},
    {L"ZEQValidateFSPathName", kValidateFSPathName, 1, 1},
    {L"ZEQValidateFSFileName", kValidateFSFileName, 1, 1},
    {L"ZEQDeleteFSFile", kDeleteFSFile, 1, 1},
    {L"ZEQCopyFSFile", kCopyFSFile, 2, 2},
    {L"ZEQMoveFSFile", kMoveFSFile, 2, 2},
    {L"ZEQIsSameFSFullPath", kIsSameFSFullPath, 2, 2},
    {L"ZEQGetFSTemporaryFileName", kGetFSTemporaryFileName, 0, 0},
    {L"ZEQGetFSTemporaryFolderName", kGetFSTemporaryFolderName, 0, 0},
    {L"ZEQSetFSAttributes", kSetFSAttributes, 2, 2},
    {L"ZEQGetFSAttributes", kGetFSAttributes, 1, 1},
    {L"ZEQCheckFSFileAccess", kCheckFSFileAccess, 2, 2},
    {L"ZEQGetFileByAge", kGetFileByAge, 1, 3},
    {L"ZEQReadTextFile", kReadTextFile, 1, 2},
    {L"ZEQWriteTextFile", kWriteTextFile, 2, 3},
    {L"ZEQVolDevToVolDrv", kVolDevToVolDrv, 1, 1},
    {L"ZEQPathCanonicalize", kPathCanonicalize, 1, 1},
    {L"ZEQEncryptFile", kEncryptFile, 3, 4},
    {L"ZEQDecryptFile", kDecryptFile, 3, 4},
    {L"ZEQConvertFileToBase64", kConvertFileToBase64, 2, 3},
    {L"ZEQConvertFileFromBase64", kConvertFileFromBase64, 2, 3},
    {L"ZEQCreateShortcut", kCreateShortcut, 2, 6},
    {L"ZEQGetShortcutInfo", kGetShortcutInfo, 1, 1},
};

const Member* FindMember(DISPID id) {
  for (const Member& member : kMembers) {
    if (member.id == id) return &member;
  }
  return nullptr;
}

// A path in file-system form whose only ':' is the drive's, without the
// characters no file name may hold.
bool IsValidFSPathName(const char* path) {
  if (!path || !*path || !IsFileSystemPath(path)) return false;
  for (const char* at = path; *at; ++at) {
    if (*at == ':' && at != path + 1) return false;
    if (std::strchr("*?\"<>|", *at)) return false;
  }
  return true;
}

bool IsValidFSFileName(const char* name) {
  if (!name || !*name) return false;
  for (const char* at = name; *at; ++at) {
    if (std::strchr("\\/:*?\"<>|", *at)) return false;
  }
  return true;
}

// Operations on one or two paths that answer [0] or [2, last error].
HRESULT PathStep(DISPID id, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText first(args.Path(0));
  HeapText second(args.Count() > 1 && id != kDeleteDirectory ? args.Path(1) : nullptr);
  HeapText patterns;
  if (id == kDeleteDirectory && args.Count() > 1) patterns.reset(args.Text(1));
  if (id == kCopyDirectory && args.Count() > 2) patterns.reset(args.Text(2));
  SetLastError(ERROR_INVALID_PARAMETER);
  bool ok = false;
  switch (id) {
    case kDeleteFSFile:
      ok = !first.empty() && DeleteFileExt(first.get());
      break;
    case kCopyFSFile:
      ok = !first.empty() && !second.empty() && CopyFileExt(first.get(), second.get());
      break;
    case kMoveFSFile:
      ok = !first.empty() && !second.empty() && MoveFileExt(first.get(), second.get());
      break;
    case kCreateDirectory:
      ok = !first.empty() && CreateDirectoryExt(first.get());
      break;
    case kCreateParentDirectory:
      ok = !first.empty() && CreateParentDirectory(first.get());
      break;
    case kMoveDirectory:
      ok = !first.empty() && !second.empty() && MoveDirectoryExt(first.get(), second.get());
      break;
    case kDeleteDirectory:
      ok = !first.empty() && RemoveDirectoryTree(first.get(), patterns.get(), 0);
      break;
    case kCopyDirectory:
      ok = !first.empty() && !second.empty() && CopyDirectoryTree(first.get(), second.get(), patterns.get(), 0, 1);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  outcome.FromStep(ok);
  return outcome.Deliver(result);
}

// The functions that answer a plain code.
HRESULT CodeFunction(DISPID id, const Arguments& args, VARIANT* result) {
  switch (id) {
    case kIsFSFile: {
      HeapText path(args.Path(0));
      const bool file = !path.empty() && PathFileExistsExt(path.get()) && !PathIsDirectoryExt(path.get());
      return DeliverCode(result, file ? ZEQERROR_NOERROR : ZEQERROR_NOTFOUND);
    }
    case kIsFSDirectory: {
      HeapText path(args.Path(0));
      const bool folder = !path.empty() && PathIsDirectoryExt(path.get());
      return DeliverCode(result, folder ? ZEQERROR_NOERROR : ZEQERROR_NOTFOUND);
    }
    case kValidateFSPathName: {
      HeapText path(args.Text(0));
      return DeliverCode(result, IsValidFSPathName(path.get()) ? ZEQERROR_NOERROR : ZEQERROR_GENERALFAILURE);
    }
    case kValidateFSFileName: {
      HeapText name(args.Text(0));
      return DeliverCode(result, IsValidFSFileName(name.get()) ? ZEQERROR_NOERROR : ZEQERROR_GENERALFAILURE);
    }
    case kIsSameFSFullPath: {
      HeapText a(args.Path(0));
      HeapText b(args.Path(1));
      const bool same = a.get() && b.get() && IsSameFullPath(a.get(), b.get());
      return DeliverCode(result, same ? ZEQERROR_NOERROR : ZEQERROR_GENERALFAILURE);
    }
    case kCheckFSFileAccess: {
      HeapText path(args.Path(0));
      const bool ok = !path.empty() && CheckFileAccessExt(path.get(), args.Int(1));
      return DeliverCode(result, ok ? ZEQERROR_NOERROR : ZEQERROR_GENERALFAILURE);
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT NameFunction(DISPID id, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  char name[kZEQPathBufferSize] = {};
  switch (id) {
    case kGetFSTemporaryFileName:
    case kGetFSTemporaryFolderName: {
      const BOOL made = id == kGetFSTemporaryFileName ? GetTempFileName(name) : GetTemporaryFolderName(name);
      if (made) {
        outcome.Succeed();
        outcome.Array()->AppendStringA(name);
      } else {
        outcome.Fail(GetLastError());
      }
      break;
    }
    case kPathCanonicalize: {
      HeapText text(args.Text(0));
      HeapText normal(text.get() ? SmartNormalizePath(text.get()) : nullptr);
      if (!normal.empty()) {
        outcome.Succeed();
        outcome.Array()->AppendStringA(normal.get());
      }
      break;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return outcome.Deliver(result);
}

HRESULT Serve(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  const Member* member = FindMember(id);
  if (!member || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  ZEQContainerHolder container = ZEQGetBaseContainer(object->owner);
  if (!container.IsSet() || !ZEQIsContainerReady(container)) return DISP_E_MEMBERNOTFOUND;
  const Arguments args(params);
  if (args.Count() < member->minArgs || args.Count() > member->maxArgs) return DISP_E_BADPARAMCOUNT;
  const uintptr_t owner = reinterpret_cast<uintptr_t>(container.Get());
  HRESULT hr = InvokeStreamFunction(id, args, owner, object->owner, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = PathStep(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = CodeFunction(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = NameFunction(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = InvokeQueryFunction(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = InvokeTextFunction(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = InvokeCipherFunction(id, args, result);
  if (hr == DISP_E_MEMBERNOTFOUND) hr = InvokeShortcutFunction(id, args, result);
  return hr;
}

}  // namespace

HRESULT FileSystemInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO*, IServiceProvider*) {
  if (!object) return DISP_E_MEMBERNOTFOUND;
  if (object->IsRegistering()) {
    for (const Member& member : kMembers) ZEQRegisterMember(object, member.id, kZEQMemberMethod, member.name);
    return S_OK;
  }
  try {
    return Serve(object, id, flags, params, result);
  } catch (...) {
    ZEQLogUnexpected("FileSystemInvoke");
    if (result) VariantClear(result);
    return DISP_E_EXCEPTION;
  }
}

void ZEQInstallFileSystemFunctions() {
  ZEQRegisterHostMemberTable(KestoMemberTable::kFileSystemFunctions, FileSystemInvoke);
}
