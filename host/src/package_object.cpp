// "ZEQPackage": the package library driven by page script. Every member
// answers a result object; script's extractions are never trusted.
#include <cstring>
#include <string>

#include "foundation/com_guard.h"
#include "foundation/git_table.h"
#include "foundation/heap.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/package_object.h"
#include "host/return_data.h"
#include "package/file_trees.h"
#include "package/package.h"
#include "package/package_extract.h"
#include "package/package_root.h"
#include "package/path_expand.h"
#include "package/vfs.h"
#include "script_class_support.h"

using scriptclass::Arg;
using scriptclass::Count;
using scriptclass::HeapText;

namespace {

enum : DISPID {
  kCreate = 1,
  kOpen,
  kClose,
  kGetInfo,
  kSetCustom,
  kAddData,
  kGet,
  kAddFile,
  kAddFolder,
  kExtract,
  kGetContent,
  kSetContent,
  kOnExtractError,
  kSetPassword,
  kRemove,
  kChange,
};

constexpr uint32_t kEncodingAnsi = 0x1;
constexpr uint32_t kEncodingUtf8 = 0x2;
constexpr uint32_t kEncodingUtf16 = 0x4;

struct PackageObjectData {
  std::string path;
  ZEQPackageDATA* package = nullptr;
};

PackageObjectData* DataOf(CZEQDispatchEx* object) { return static_cast<PackageObjectData*>(object->nativeData); }

std::string Text(const VARIANT* value) {
  HeapText text(VariantToStrDup(value, 0));
  return text ? std::string(text.get()) : std::string();
}

bool IsApplicationPackage(const ZEQPackageDATA* package) {
  return package && package == ZEQGetApplicationPackage();
}

// The extraction options of an option text; the application's own package
// is always read from the mount list.
uint32_t ExtractOptions(const std::string& words, const ZEQPackageDATA* package) {
  static const struct {
    const char* word;
    uint32_t bit;
  } kWords[] = {
      {"execute", ZEQPKG_EXTRACT_EXECUTE},   {"root", ZEQPKG_EXTRACT_ROOT},         {"rawvfs", ZEQPKG_EXTRACT_RAWVFS},
      {"file", ZEQPKG_EXTRACT_FILE},         {"encrypt", ZEQPKG_EXTRACT_ENCRYPT},   {"compress", ZEQPKG_EXTRACT_COMPRESS},
      {"recursive", ZEQPKG_EXTRACT_RECURSIVE},
  };
  uint32_t options = 0;
  for (const auto& entry : kWords) {
    if (FindOptionWord(words.c_str(), entry.word, false)) options |= entry.bit;
  }
  if (IsApplicationPackage(package)) options |= ZEQPKG_EXTRACT_RAWVFS;
  return options;
}

uint32_t EncodingBits(const std::string& words) {
  uint32_t bits = 0;
  if (FindOptionWord(words.c_str(), "ansi", false)) bits |= kEncodingAnsi;
  if (FindOptionWord(words.c_str(), "utf-8", false)) bits |= kEncodingUtf8;
  if (FindOptionWord(words.c_str(), "utf-16", false)) bits |= kEncodingUtf16;
  return bits;
}

CZEQDispatchEx* NewReturn(CZEQDispatchEx* object, uint32_t code, uint32_t expected, uint32_t mode) {
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, code, expected, uint32_t(-1), mode);
  if (!answer) throw ZEQOutOfMemory();
  return answer;
}

// Success exactly when the operation succeeded; ErrorCode 0 or 2.
HRESULT AnswerDone(CZEQDispatchEx* object, bool done, VARIANT* result) {
  scriptclass::AnswerObject(result, NewReturn(object, done ? 1 : 0, 1, 4));
  return S_OK;
}

// ErrorCode is the operation's code; Success when it is 0.
HRESULT AnswerCode(CZEQDispatchEx* object, uint32_t code, VARIANT* result) {
  scriptclass::AnswerObject(result, NewReturn(object, code, 0, 1));
  return S_OK;
}

void ReleaseExtracted(ZEQPackageDATA* package) {
  HeapFreeSecure(package->extracted, package->extractedLength, true);
  package->extracted = nullptr;
  package->extractedLength = 0;
}

void RevokeErrorHandler(ZEQPackageDATA* package) {
  if (package->errorHandlerCookie) RevokeGITCookie(package->errorHandlerCookie);
  package->errorHandlerCookie = 0;
}

// Lets the object's package go: the application's package stays allocated.
void DropPackage(PackageObjectData* data) {
  if (!data->package) return;
  if (!IsApplicationPackage(data->package)) {
    RevokeErrorHandler(data->package);
    ZEQPackageRelease(data->package);
  }
  data->package = nullptr;
}

// "Content", "ContentLenght" and "ContentFormat" of the package's extracted
// data, converted by the encoding words.
void SetContent(CZEQDispatchEx* answer, const ZEQPackageDATA* package, uint32_t encoding) {
  size_t size = package->extractedLength;
  char* buffer = static_cast<char*>(HeapAllocZ(size + 2));
  if (size) memcpy(buffer, package->extracted, size);
  uint32_t format = 0;
  try {
    format = ConvertTextBuffer(encoding, &buffer, &size);
    if (encoding & kEncodingUtf16) {
      ZEQReturnData::SetStringW(answer, L"Content", std::wstring(reinterpret_cast<const wchar_t*>(buffer),
                                                               size / sizeof(wchar_t)).c_str());
    } else {
      ZEQReturnData::SetStringA(answer, L"Content", std::string(buffer, strnlen(buffer, size)).c_str());
    }
  } catch (...) {
    HeapFreeZ(buffer);
    throw;
  }
  HeapFreeZ(buffer);
  ZEQReturnData::SetUInt(answer, L"ContentLenght", uint32_t(size));
  ZEQReturnData::SetUInt(answer, L"ContentFormat", format);
}

// Extraction into memory, answered with the content on success.
HRESULT ExtractToMemory(CZEQDispatchEx* object, ZEQPackageDATA* package, const std::string& filter,
                        uint32_t options, uint32_t encoding, VARIANT* result) {
  ReleaseExtracted(package);
  const int code = ZEQPackageExtract(package, nullptr, nullptr, nullptr, filter.c_str(), "*", nullptr, options);
  CZEQDispatchEx* answer = NewReturn(object, uint32_t(code), 0, 1);
  try {
    if (code == 0 && package->extracted) SetContent(answer, package, encoding);
  } catch (...) {
    answer->Release();
    ReleaseExtracted(package);
    throw;
  }
  ReleaseExtracted(package);
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

// The five-argument form with an application package object first: the
// entry of this package that the filter finds is mounted under the virtual
// root joined with the mount path.
HRESULT MountFromPackage(CZEQDispatchEx* object, ZEQPackageDATA* package, DISPPARAMS* params, VARIANT* result) {
  IDispatch* given = V_DISPATCH(Arg(params, 0));
  CZEQDispatchEx* other = given ? ZEQGetNativeDispatchEx(given) : nullptr;
  const bool accepted = other && other->className && wcscmp(other->className, kZEQPackageClass) == 0 &&
                        other->nativeData && IsApplicationPackage(DataOf(other)->package);
  if (other) other->Release();
  if (!accepted) return AnswerCode(object, ZEQERROR_NOTACCEPTABLE, result);
  const std::string mountPath = Text(Arg(params, 1));
  const std::string filter = Text(Arg(params, 2));
  ReleaseExtracted(package);
  const int code = ZEQPackageExtract(package, nullptr, nullptr, nullptr, filter.c_str(), "*", "",
                                     ZEQPKG_EXTRACT_RECURSIVE);
  uint32_t answerCode = uint32_t(code);
  if (code == 0) {
    std::string target = VirtualRootBuffer();
    if (!mountPath.empty() && mountPath[0] != '\\' && mountPath[0] != '/') target += "\\";
    target += mountPath;
    if (!package->extracted || !VFSMountFile(target.c_str(), package->extracted, package->extractedLength)) {
      answerCode = ZEQPKG_EXTRACT_ERROR_WRITEDATA;
    }
  }
  ReleaseExtracted(package);
  return AnswerCode(object, answerCode, result);
}

HRESULT Extract(CZEQDispatchEx* object, ZEQPackageDATA* package, DISPPARAMS* params, VARIANT* result) {
  const UINT n = Count(params);
  if (n < 1 || n > 5) return DISP_E_BADPARAMCOUNT;
  if (n == 5 && V_VT(Arg(params, 0)) == VT_DISPATCH) return MountFromPackage(object, package, params, result);
  const std::string target = Text(Arg(params, 0));
  std::string filter = "*", store = "*", password, words;
  if (n >= 2) filter = Text(Arg(params, 1));
  if (n == 3) words = Text(Arg(params, 2));
  if (n == 4) {
    password = Text(Arg(params, 2));
    words = Text(Arg(params, 3));
  }
  if (n == 5) {
    store = Text(Arg(params, 2));
    password = Text(Arg(params, 3));
    words = Text(Arg(params, 4));
  }
  const int code = ZEQPackageExtract(package, nullptr, nullptr, target.c_str(), filter.c_str(), store.c_str(),
                                     n >= 4 ? password.c_str() : nullptr, ExtractOptions(words, package));
  ReleaseExtracted(package);
  return AnswerCode(object, uint32_t(code), result);
}

HRESULT GetInfo(CZEQDispatchEx* object, const ZEQPackageDATA* package, VARIANT* result) {
  CZEQDispatchEx* answer = NewReturn(object, 1, 1, 4);
  try {
    const ZEQPackageHeader& header = package->header;
    ZEQReturnData::SetStringA(answer, L"FullPath", package->path);
    ZEQReturnData::SetStringA(answer, L"UUID", std::string(header.UUID, strnlen(header.UUID, kPackageTextField)).c_str());
    ZEQReturnData::SetStringA(answer, L"Custom",
                              std::string(header.Custom, strnlen(header.Custom, kPackageTextField)).c_str());
    ZEQReturnData::SetUInt(answer, L"Version", header.Version);
    ZEQReturnData::SetUInt(answer, L"Release", header.Release);
    ZEQReturnData::SetUInt(answer, L"Build", header.Build);
    ZEQReturnData::SetUInt(answer, L"Type", header.Type);
    ZEQReturnData::SetUInt(answer, L"Flags", header.Flags);
    ZEQReturnData::SetDouble(answer, L"FilesCount", double(header.FilesCount));
    ZEQReturnData::SetDouble(answer, L"FilesSize", header.FilesSize);
  } catch (...) {
    answer->Release();
    throw;
  }
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

HRESULT ErrorHandlerProperty(ZEQPackageDATA* package, WORD flags, DISPPARAMS* params, VARIANT* result) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (!package) return S_OK;
    RevokeErrorHandler(package);
    if (IDispatch* handler = VariantGetDispatch(&params->rgvarg[0])) {
      package->errorHandlerCookie = ZEQGITRegister(handler);
      handler->Release();
    }
    return S_OK;
  }
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!result) return S_OK;
  VariantClear(result);
  IUnknown* handler = package ? GetInterfaceFromGIT(package->errorHandlerCookie) : nullptr;
  if (!handler) return S_OK;
  IDispatch* dispatch = nullptr;
  handler->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  handler->Release();
  if (dispatch) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = dispatch;
  }
  return S_OK;
}

int DoNothing(ZEQPackageDATA*, const char*, uintptr_t) { return 1; }

HRESULT Member(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  PackageObjectData* data = DataOf(object);
  if (!data) return DISP_E_MEMBERNOTFOUND;
  ZEQPackageDATA* package = data->package;
  if (id == kOnExtractError) return ErrorHandlerProperty(package, flags, params, result);
  if (!(flags & DISPATCH_METHOD) || id < kCreate || id > kChange) return DISP_E_MEMBERNOTFOUND;
  const UINT n = Count(params);
  switch (id) {
    case kCreate: {
      if (n < 1 || n > 3) return DISP_E_BADPARAMCOUNT;
      if (package) return AnswerCode(object, ZEQERROR_ALREADYEXISTS, result);
      const uint32_t type = n == 3 ? scriptclass::UnsignedArg(Arg(params, 0)) : ZEQPKG_TYPE_MULTIPLE;
      const std::string password = n >= 2 ? Text(Arg(params, n - 2)) : std::string();
      const uint32_t packageFlags = scriptclass::UnsignedArg(Arg(params, n - 1));
      data->package = ZEQPackageCreate(packageFlags, data->path.c_str(), type, password.c_str());
      if (data->package) data->package->owner = object;
      return AnswerDone(object, data->package != nullptr, result);
    }
    case kOpen: {
      if (n < 1 || n > 2) return DISP_E_BADPARAMCOUNT;
      if (package) return AnswerCode(object, ZEQERROR_ALREADYEXISTS, result);
      const std::string password = Text(Arg(params, 0));
      const uint32_t keyFlags = n == 2 ? scriptclass::UnsignedArg(Arg(params, 1)) : 0;
      data->package = ZEQPackageOpen(data->path.c_str(), password.c_str(), DoNothing, keyFlags);
      // Extraction of an opened package reports its failed entries to
      // this object's handler, as for a created one.
      if (data->package) data->package->owner = object;
      return AnswerDone(object, data->package != nullptr, result);
    }
    default:
      break;
  }
  if (!package) {
    if (id == kSetPassword) return AnswerDone(object, false, result);
    return AnswerCode(object, ZEQERROR_NOTPREPARED, result);
  }
  const bool single = package->header.Type == ZEQPKG_TYPE_SINGLE;
  switch (id) {
    case kClose: {
      if (n > 1) return DISP_E_BADPARAMCOUNT;
      const uint32_t closeFlags = n == 1 ? scriptclass::UnsignedArg(Arg(params, 0)) : 0;
      const bool closed = ZEQPackageClose(package, nullptr, closeFlags);
      if (closed) DropPackage(data);
      return AnswerDone(object, closed, result);
    }
    case kGetInfo:
      if (n > 1) return DISP_E_BADPARAMCOUNT;
      return GetInfo(object, package, result);
    case kSetCustom: {
      if (n < 1 || n > 2) return DISP_E_BADPARAMCOUNT;
      const std::string text = Text(Arg(params, 0));
      if (text.size() > kPackageTextField) return AnswerCode(object, ZEQERROR_OUTOFRANGE, result);
      // Marks the package changed, so the text is written when it closes.
      return AnswerDone(object, ZEQPackageSetCustom(package, text.c_str()), result);
    }
    case kAddData: {
      if (n != 4) return DISP_E_BADPARAMCOUNT;
      const std::string path = Text(Arg(params, 0)), type = Text(Arg(params, 1)), bytes = Text(Arg(params, 2));
      return AnswerDone(object,
                        ZEQPackageAddData(package, path.c_str(), type.c_str(), bytes.data(), uint32_t(bytes.size())),
                        result);
    }
    case kGet: {
      if (n < 1 || n > 2) return DISP_E_BADPARAMCOUNT;
      const std::string words = n == 2 ? Text(Arg(params, 1)) : std::string();
      return ExtractToMemory(object, package, Text(Arg(params, 0)), ExtractOptions(words, package),
                             EncodingBits(words), result);
    }
    case kAddFile: {
      if (n != 3) return DISP_E_BADPARAMCOUNT;
      const std::string path = Text(Arg(params, 0));
      HeapText source(VariantToExpandedPath(Arg(params, 1), 0, TRUE));
      return AnswerDone(object, source && ZEQPackageAddFile(package, path.c_str(), source.get()), result);
    }
    case kAddFolder: {
      if (n != 4) return DISP_E_BADPARAMCOUNT;
      const std::string path = Text(Arg(params, 0)), patterns = Text(Arg(params, 2));
      HeapText source(VariantToExpandedPath(Arg(params, 1), 0, TRUE));
      return AnswerDone(object,
                        source && ZEQPackageAddFolder(package, path.c_str(), source.get(), patterns.c_str(),
                                                      scriptclass::UnsignedArg(Arg(params, 3))),
                        result);
    }
    case kExtract:
      return Extract(object, package, params, result);
    case kGetContent: {
      if (n > 1) return DISP_E_BADPARAMCOUNT;
      if (!single) return AnswerCode(object, ZEQERROR_NOTAPPLICABLE, result);
      const std::string words = n == 1 ? Text(Arg(params, 0)) : std::string();
      return ExtractToMemory(object, package, "*", ExtractOptions(std::string(), package), EncodingBits(words),
                             result);
    }
    case kSetContent: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      if (!single) return AnswerCode(object, ZEQERROR_NOTAPPLICABLE, result);
      const std::string text = Text(Arg(params, 0));
      const bool done = ZEQPackageSeek(package, 0, kPackageSeekBegin) && ZEQPackageSetEnd(package) &&
                        ZEQPackageWriteFile(package, uint32_t(text.size()), text.data());
      return AnswerDone(object, done, result);
    }
    case kSetPassword:
      if (n < 2 || n > 3) return DISP_E_BADPARAMCOUNT;
      return AnswerCode(object, ZEQERROR_NOTPREPARED, result);
    case kRemove: {
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      if (single) return AnswerCode(object, ZEQERROR_NOTAPPLICABLE, result);
      const std::string path = Text(Arg(params, 0)), words = Text(Arg(params, 1));
      return AnswerDone(object,
                        ZEQPackageChangeEntry(package, path.c_str(), nullptr, 0, ExtractOptions(words, package)) == 0,
                        result);
    }
    case kChange: {
      if (n != 3) return DISP_E_BADPARAMCOUNT;
      if (single) return AnswerCode(object, ZEQERROR_NOTAPPLICABLE, result);
      const std::string path = Text(Arg(params, 0)), content = Text(Arg(params, 1)), words = Text(Arg(params, 2));
      const uint32_t options = ExtractOptions(words, package);
      if (FindOptionWord(words.c_str(), "directcontent", false)) {
        return AnswerDone(object,
                          ZEQPackageChangeEntry(package, path.c_str(), content.data(), uint32_t(content.size()),
                                                options) == 0,
                          result);
      }
      void* bytes = nullptr;
      DWORD size = 0;
      if (!ReadWholeFileExt(content.c_str(), &bytes, &size)) return AnswerDone(object, false, result);
      const int code = ZEQPackageChangeEntry(package, path.c_str(), bytes, size, options);
      HeapFreeZ(bytes);
      return AnswerDone(object, code == 0, result);
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
  CZEQDispatchEx* made = CZEQDispatchEx::Create(classObject->className, classObject->owner, ZEQPackageGetIDsOfNames,
                                                ZEQPackageInvoke, kZEQDispInstance);
  try {
    HeapText path(VariantToExpandedPath(Arg(params, 0), 0, TRUE));
    DataOf(made)->path = path ? path.get() : "";
  } catch (...) {
    made->Release();
    throw;
  }
  ZEQSetResultSuccess(made);
  scriptclass::AnswerObject(result, made);
  return S_OK;
}

void Lifecycle(CZEQDispatchEx* object) {
  if (object->IsRegistering()) {
    object->nativeData = new PackageObjectData();
    static const struct {
      DISPID id;
      uint32_t kind;
      const wchar_t* name;
    } kMembers[] = {
        {kCreate, kZEQMemberMethod, L"Create"},       {kOpen, kZEQMemberMethod, L"Open"},
        {kClose, kZEQMemberMethod, L"Close"},         {kGetInfo, kZEQMemberMethod, L"GetInfo"},
        {kSetCustom, kZEQMemberMethod, L"SetCustom"}, {kAddData, kZEQMemberMethod, L"AddData"},
        {kGet, kZEQMemberMethod, L"GetData"},         {kGet, kZEQMemberMethod, L"Get"},
        {kAddFile, kZEQMemberMethod, L"AddFile"},     {kAddFolder, kZEQMemberMethod, L"AddFolder"},
        {kExtract, kZEQMemberMethod, L"Extract"},     {kGetContent, kZEQMemberMethod, L"GetContent"},
        {kSetContent, kZEQMemberMethod, L"SetContent"}, {kOnExtractError, kZEQMemberProperty, L"onextracterror"},
        {kSetPassword, kZEQMemberMethod, L"SetPassword"}, {kRemove, kZEQMemberMethod, L"Remove"},
        {kRemove, kZEQMemberMethod, L"RemoveData"},   {kChange, kZEQMemberMethod, L"Change"},
        {kChange, kZEQMemberMethod, L"ChangeData"},
    };
    for (const auto& member : kMembers) ZEQRegisterMember(object, member.id, member.kind, member.name);
  }
  if (object->IsDestroying()) {
    if (PackageObjectData* data = DataOf(object)) {
      // A changed package is written when its object goes. The
      // application's package is not the object's to close: closing it
      // would unload the running application's content.
      if (data->package && !IsApplicationPackage(data->package)) ZEQPackageClose(data->package, nullptr, 0);
      DropPackage(data);
      delete data;
    }
    object->nativeData = nullptr;
  }
}

}  // namespace

HRESULT ZEQPackageGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQPackageInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO*, IServiceProvider*) {
  return ZEQGuardedComCall("ZEQPackageInvoke", [&]() -> HRESULT {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      Lifecycle(object);
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    return Member(object, id, flags, params, result);
  });
}
