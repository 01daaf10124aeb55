// "ZEQRegKey": registry keys for page script. Every answer carries the
// system's error code; nothing the registry refuses is thrown.
#include <cstring>
#include <string>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/js_array.h"
#include "host/registry_key.h"
#include "host/return_data.h"
#include "script_class_support.h"

using scriptclass::Arg;
using scriptclass::Count;
using scriptclass::HeapText;

namespace {

enum : DISPID {
  kCreateKey = 1,
  kOpenKey,
  kGetInfo,
  kFlush,
  kEnumSubKeys,
  kDelete,
  kGetValue,
  kSetValue,
  kEnumValues,
  kDeleteValue,
};

constexpr uint32_t kCreate = 0x1;
constexpr uint32_t kSamRead = 0x10000000;
constexpr uint32_t kSamWrite = 0x20000000;
constexpr uint32_t kSamAllAccess = 0x80000000;
constexpr uint32_t kDefaultOptions = kSamAllAccess | kCreate;
constexpr uint32_t kEnumRecursive = 0x1;

constexpr DWORD kNameChars = 513;
constexpr DWORD kValueNameChars = 512;
constexpr DWORD kValueDataBytes = 32768;

struct RegKeyData {
  HKEY root = nullptr;  // the predefined key the full path starts from
  std::string subKey;
  std::string fullPath;
  uint32_t options = 0;
  HKEY key = nullptr;
  DWORD disposition = 0;
  bool deleted = false;  // Delete() removed the key: no methods any more
};

RegKeyData* DataOf(CZEQDispatchEx* object) { return static_cast<RegKeyData*>(object->nativeData); }

bool IsPredefinedRegistryKey(uint32_t root) {
  return (root >= 0x80000000u && root <= 0x80000006u) || root == 0x80000050u || root == 0x80000060u;
}

// Predefined keys are sign-extended 32-bit values on every target.
HKEY PredefinedKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(root))); }

REGSAM RightsOf(uint32_t options) {
  if (options & kSamAllAccess) return KEY_ALL_ACCESS;
  REGSAM rights = 0;
  if (options & kSamRead) rights |= KEY_READ;
  if (options & kSamWrite) rights |= KEY_WRITE;
  return rights;
}

// A text argument trimmed of blanks and tabs ("" for what is no text).
std::string TrimmedText(const VARIANT* value) {
  HeapText text(VariantToStrDup(value, 0));
  if (!text) return std::string();
  return TrimBlanks(text.get());
}

std::wstring Wide(const char* text) {
  wchar_t* wide = AnsiToWideDup(text ? text : "", 0);
  if (!wide) throw ZEQOutOfMemory();
  std::wstring out(wide);
  HeapFreeZ(wide);
  return out;
}

const VARIANT* Dereferenced(const VARIANT* value) {
  for (int depth = 0; value && V_VT(value) == (VT_BYREF | VT_VARIANT) && depth < 16; ++depth) {
    value = V_VARIANTREF(value);
  }
  return value;
}

CZEQDispatchEx* NewReturn(CZEQDispatchEx* object, DWORD error) {
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, error, ERROR_SUCCESS, error, 1);
  if (!answer) throw ZEQOutOfMemory();
  return answer;
}

// Answers a result object, or lets it go when the caller wants none.
HRESULT Answer(VARIANT* result, CZEQDispatchEx* answer) {
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

void RegisterMethods(CZEQDispatchEx* object) {
  static const struct {
    DISPID id;
    const wchar_t* name;
  } kMethods[] = {
      {kCreateKey, L"CreateKey"},   {kOpenKey, L"OpenKey"},     {kGetInfo, L"GetInfo"},
      {kFlush, L"Flush"},           {kEnumSubKeys, L"EnumSubKeys"}, {kDelete, L"Delete"},
      {kGetValue, L"GetValue"},     {kSetValue, L"SetValue"},   {kEnumValues, L"EnumValues"},
      {kDeleteValue, L"DeleteValue"},
  };
  for (const auto& method : kMethods) ZEQRegisterMember(object, method.id, kZEQMemberMethod, method.name);
}

// Opens or creates the key of a new object: relative to the parent's open
// key for a child, else to a predefined root. The object's result members
// carry the system's code; only an opened key gets the methods.
void OpenKey(CZEQDispatchEx* made, const RegKeyData* parent, uint32_t root, const std::string& subKey,
             uint32_t options) {
  RegKeyData* data = DataOf(made);
  data->subKey = subKey;
  data->options = options;
  LSTATUS error = ERROR_SUCCESS;
  HKEY base = nullptr;
  if (parent) {
    data->root = parent->root;
    data->fullPath = parent->fullPath.empty() ? subKey : parent->fullPath + "\\" + subKey;
    base = parent->key;
  } else if (IsPredefinedRegistryKey(root)) {
    data->root = PredefinedKey(root);
    data->fullPath = subKey;
    base = data->root;
  } else {
    // Script names only the predefined roots: any other number would be
    // taken for a handle of this process.
    error = ERROR_INVALID_HANDLE;
  }
  if (error == ERROR_SUCCESS) {
    if (options & kCreate) {
      error = RegCreateKeyExA(base, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, RightsOf(options), nullptr,
                              &data->key, &data->disposition);
    } else {
      error = RegOpenKeyExA(base, subKey.c_str(), 0, RightsOf(options), &data->key);
      data->disposition = REG_OPENED_EXISTING_KEY;
    }
    if (error != ERROR_SUCCESS) data->key = nullptr;
  }
  if (error == ERROR_SUCCESS) RegisterMethods(made);
  ZEQReturnData::SetResult(made, error, ERROR_SUCCESS, error, 1);
}

HRESULT MakeKeyObject(CZEQDispatchEx* classObject, const RegKeyData* parent, uint32_t root, const std::string& subKey,
                      uint32_t options, VARIANT* result) {
  CZEQDispatchEx* made =
      CZEQDispatchEx::Create(classObject->className, classObject->owner, ZEQRegKeyGetIDsOfNames, ZEQRegKeyInvoke,
                             kZEQDispInstance);
  try {
    OpenKey(made, parent, root, subKey, options);
  } catch (...) {
    made->Release();
    throw;
  }
  return Answer(result, made);
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  const UINT n = Count(params);
  if (n != 2 && n != 3) return DISP_E_BADPARAMCOUNT;
  const uint32_t root = scriptclass::UnsignedArg(Arg(params, 0));
  const uint32_t options = n == 3 ? scriptclass::UnsignedArg(Arg(params, 2)) : kDefaultOptions;
  return MakeKeyObject(classObject, nullptr, root, TrimmedText(Arg(params, 1)), options, result);
}

void Lifecycle(CZEQDispatchEx* object) {
  if (object->IsRegistering()) object->nativeData = new RegKeyData();
  if (object->IsDestroying()) {
    if (RegKeyData* data = DataOf(object)) {
      if (data->key) RegCloseKey(data->key);
      delete data;
    }
    object->nativeData = nullptr;
  }
}

// The script value of registry data: numbers, texts (expanded for
// REG_EXPAND_SZ), arrays of texts or of byte values; other types give none.
// The data is read only within its size.
void SetRegistryValue(CZEQDispatchEx* object, const wchar_t* name, DWORD type, const uint8_t* data, DWORD size) {
  switch (type) {
    case REG_DWORD: {
      uint32_t value = 0;
      memcpy(&value, data, size < sizeof(value) ? size : sizeof(value));
      ZEQReturnData::SetUInt(object, name, value);
      break;
    }
    case REG_SZ:
      ZEQReturnData::SetStringA(object, name, std::string(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size)).c_str());
      break;
    case REG_EXPAND_SZ: {
      const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
      std::string expanded(ExpandEnvironmentStringsA(text.c_str(), nullptr, 0) + 1, '\0');
      const DWORD written = ExpandEnvironmentStringsA(text.c_str(), &expanded[0], DWORD(expanded.size()));
      ZEQReturnData::SetStringA(object, name, written && written <= expanded.size() ? expanded.c_str() : text.c_str());
      break;
    }
    case REG_MULTI_SZ: {
      JSArray array;
      array.Init();
      try {
        const char* text = reinterpret_cast<const char*>(data);
        size_t at = 0;
        while (at < size && text[at]) {
          const size_t length = strnlen(text + at, size - at);
          array.AppendStringA(std::string(text + at, length).c_str());
          at += length + 1;
        }
        ZEQReturnData::SetArray(object, name, &array);
      } catch (...) {
        array.Destroy();
        throw;
      }
      array.Destroy();
      break;
    }
    case REG_BINARY: {
      JSArray array;
      array.Init();
      try {
        for (DWORD i = 0; i < size; ++i) array.AppendUInt(data[i]);
        ZEQReturnData::SetArray(object, name, &array);
      } catch (...) {
        array.Destroy();
        throw;
      }
      array.Destroy();
      break;
    }
    default:
      break;
  }
}

HRESULT GetInfo(CZEQDispatchEx* object, RegKeyData* data, VARIANT* result) {
  char className[kNameChars] = {};
  DWORD classLength = kNameChars;
  DWORD subKeys = 0, values = 0;
  FILETIME lastWrite = {};
  LSTATUS error = RegQueryInfoKeyA(data->key, className, &classLength, nullptr, &subKeys, nullptr, nullptr, &values,
                                   nullptr, nullptr, nullptr, &lastWrite);
  const bool nothingRead = !className[0] && !subKeys && !values && !lastWrite.dwLowDateTime && !lastWrite.dwHighDateTime;
  if (error == ERROR_INVALID_PARAMETER && !nothingRead) error = ERROR_SUCCESS;
  CZEQDispatchEx* answer = NewReturn(object, error);
  ZEQReturnData::SetStringA(answer, L"FullPath", data->fullPath.c_str());
  ZEQReturnData::SetUInt(answer, L"SubKeys", subKeys);
  ZEQReturnData::SetUInt(answer, L"Values", values);
  ZEQReturnData::SetFileTime(answer, L"LastModified", &lastWrite);
  ZEQReturnData::SetBool(answer, L"Created", data->disposition == REG_CREATED_NEW_KEY);
  return Answer(result, answer);
}

// Lists the sub keys whose names match as paths relative to the walk's
// start, a key before its children; a level ends at ERROR_NO_MORE_ITEMS.
LSTATUS EnumRegistrySubKeys(HKEY key, const std::string& prefix, const char* patterns, uint32_t flags,
                            JSArray* paths) {
  for (DWORD index = 0;; ++index) {
    char name[kNameChars];
    LSTATUS error = RegEnumKeyA(key, index, name, kNameChars);
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    const std::string path = prefix + "\\" + name;
    if (WildcardMatchList(patterns, name, 0)) paths->AppendStringA(path.c_str());
    if (!(flags & kEnumRecursive)) continue;
    HKEY child = nullptr;
    error = RegOpenKeyExA(key, name, 0, KEY_READ, &child);
    if (error != ERROR_SUCCESS) return error;
    error = EnumRegistrySubKeys(child, path, patterns, flags, paths);
    RegCloseKey(child);
    if (error != ERROR_SUCCESS) return error;
  }
}

HRESULT EnumSubKeys(CZEQDispatchEx* object, RegKeyData* data, DISPPARAMS* params, VARIANT* result) {
  const UINT n = Count(params);
  std::string patterns = "*";
  uint32_t flags = kEnumRecursive;
  if (n >= 1) {
    HeapText text(VariantToStrDup(Arg(params, 0), 0));
    patterns = text ? text.get() : "";
  }
  if (n == 2) flags = scriptclass::UnsignedArg(Arg(params, 1));
  JSArray paths;
  paths.Init();
  CZEQDispatchEx* answer = nullptr;
  try {
    const LSTATUS error = EnumRegistrySubKeys(data->key, std::string(), patterns.c_str(), flags, &paths);
    answer = NewReturn(object, error);
    ZEQReturnData::SetArray(answer, L"SubKeys", &paths);
  } catch (...) {
    paths.Destroy();
    if (answer) answer->Release();
    throw;
  }
  paths.Destroy();
  return Answer(result, answer);
}

HRESULT GetValue(CZEQDispatchEx* object, RegKeyData* data, DISPPARAMS* params, VARIANT* result) {
  const std::string name = TrimmedText(Arg(params, 0));
  DWORD type = 0, size = 0;
  LSTATUS error = RegQueryValueExA(data->key, name.c_str(), nullptr, &type, nullptr, &size);
  std::string buffer;
  if (error == ERROR_SUCCESS) {
    switch (type) {
      case REG_SZ:
      case REG_EXPAND_SZ:
      case REG_BINARY:
      case REG_MULTI_SZ:
        // Two spare zeros: a text list stored without its ending still ends.
        buffer.assign(size_t(size) + 2, '\0');
        break;
      case REG_DWORD:
        buffer.assign(5, '\0');
        size = 4;
        break;
      default:
        error = ERROR_INVALID_DATA;
        break;
    }
  }
  if (error == ERROR_SUCCESS) {
    error = RegQueryValueExA(data->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size);
  }
  CZEQDispatchEx* answer = NewReturn(object, error);
  try {
    if (error == ERROR_SUCCESS) {
      SetRegistryValue(answer, L"Value", type, reinterpret_cast<const uint8_t*>(buffer.data()), size);
    }
  } catch (...) {
    answer->Release();
    throw;
  }
  return Answer(result, answer);
}

// Numbers become REG_DWORD, texts REG_SZ (ANSI, the ending zero counted);
// a value of any other kind is refused and nothing is written.
HRESULT SetValue(CZEQDispatchEx* object, RegKeyData* data, DISPPARAMS* params, VARIANT* result) {
  const std::string name = TrimmedText(Arg(params, 0));
  const VARIANT* value = Dereferenced(Arg(params, 1));
  LSTATUS error = ERROR_INVALID_DATA;
  if (value && IsNumericVarType(V_VT(value))) {
    const DWORD number = scriptclass::UnsignedArg(value);
    error = RegSetValueExA(data->key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof(number));
  } else if (value && V_VT(value) == VT_BSTR) {
    HeapText text(VariantToStrDup(value, 0));
    if (!text) throw ZEQOutOfMemory();
    error = RegSetValueExA(data->key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.get()),
                           DWORD(strlen(text.get()) + 1));
  }
  return Answer(result, NewReturn(object, error));
}

HRESULT EnumValues(CZEQDispatchEx* object, RegKeyData* data, DISPPARAMS* params, VARIANT* result) {
  std::string patterns = "*";
  if (Count(params) == 1) {
    HeapText text(VariantToStrDup(Arg(params, 0), 0));
    patterns = text ? text.get() : "";
  }
  CZEQDispatchEx* values = ZEQReturn::Create(object->owner, 0, 0, 0, 1);
  if (!values) throw ZEQOutOfMemory();
  CZEQDispatchEx* answer = nullptr;
  try {
    std::string buffer(size_t(kValueDataBytes) + 2, '\0');
    LSTATUS error = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
      char name[kValueNameChars];
      DWORD nameLength = kValueNameChars;
      DWORD type = 0, size = kValueDataBytes;
      memset(&buffer[0], 0, buffer.size());
      error = RegEnumValueA(data->key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]),
                            &size);
      if (error == ERROR_NO_MORE_ITEMS) {
        error = ERROR_SUCCESS;
        break;
      }
      if (error != ERROR_SUCCESS) break;
      if (!WildcardMatchList(patterns.c_str(), name, 0)) continue;
      SetRegistryValue(values, Wide(name).c_str(), type, reinterpret_cast<const uint8_t*>(buffer.data()), size);
    }
    answer = NewReturn(object, error);
    ZEQReturnData::SetDispatch(answer, L"Values", static_cast<IDispatchEx*>(values));
  } catch (...) {
    values->Release();
    if (answer) answer->Release();
    throw;
  }
  values->Release();
  return Answer(result, answer);
}

HRESULT Delete(CZEQDispatchEx* object, RegKeyData* data, DISPPARAMS* params, VARIANT* result) {
  LSTATUS error;
  if (Count(params) == 1) {
    error = RegDeleteKeyTree(data->key, TrimmedText(Arg(params, 0)).c_str());
  } else {
    // From the predefined root by the full path: the key of a parent that
    // made this object may be closed by now.
    error = RegDeleteKeyTree(data->root, data->fullPath.c_str());
    if (error == ERROR_SUCCESS) {
      RegCloseKey(data->key);
      data->key = nullptr;
      data->deleted = true;
    }
  }
  return Answer(result, NewReturn(object, error));
}

HRESULT Member(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  RegKeyData* data = DataOf(object);
  if (!data || !data->key || data->deleted || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const UINT n = Count(params);
  switch (id) {
    case kCreateKey:
    case kOpenKey: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      const uint32_t options = id == kCreateKey ? (data->options | kCreate) : (data->options & ~kCreate);
      return MakeKeyObject(object, data, 0, TrimmedText(Arg(params, 0)), options, result);
    }
    case kGetInfo:
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      return GetInfo(object, data, result);
    case kFlush:
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      return Answer(result, NewReturn(object, RegFlushKey(data->key)));
    case kEnumSubKeys:
      if (n > 2) return DISP_E_BADPARAMCOUNT;
      return EnumSubKeys(object, data, params, result);
    case kDelete:
      if (n > 1) return DISP_E_BADPARAMCOUNT;
      return Delete(object, data, params, result);
    case kGetValue:
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      return GetValue(object, data, params, result);
    case kSetValue:
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      return SetValue(object, data, params, result);
    case kEnumValues:
      if (n > 1) return DISP_E_BADPARAMCOUNT;
      return EnumValues(object, data, params, result);
    case kDeleteValue:
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      return Answer(result, NewReturn(object, RegDeleteValueA(data->key, TrimmedText(Arg(params, 0)).c_str())));
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

LSTATUS RegDeleteKeyTree(HKEY root, const char* subKey) {
  HKEY key = nullptr;
  LSTATUS error = RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key);
  if (error != ERROR_SUCCESS) return error;
  for (;;) {
    char name[kNameChars];
    error = RegEnumKeyA(key, 0, name, kNameChars);
    if (error == ERROR_NO_MORE_ITEMS) {
      error = ERROR_SUCCESS;
      break;
    }
    if (error != ERROR_SUCCESS) break;
    // A child that stays would be found at index 0 again: stop at it.
    error = RegDeleteKeyTree(key, name);
    if (error != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? RegDeleteKeyA(root, subKey) : error;
}

HRESULT ZEQRegKeyGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  const RegKeyData* data = DataOf(object);
  if (data && data->deleted) return DISP_E_UNKNOWNNAME;
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQRegKeyInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) {
  return ZEQGuardedComCall("ZEQRegKeyInvoke", [&]() -> HRESULT {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      Lifecycle(object);
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    return Member(object, id, flags, params, result);
  });
}
