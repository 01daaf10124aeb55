// "ZEQINIFile": an INI file read once into a keyed list, answered from that
// list and changed through the platform's profile writer.
#include <cstring>
#include <memory>
#include <string>

#include "foundation/heap.h"
#include "foundation/list_services.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/definitions_objects.h"
#include "host/return_data.h"
#include "package/ini_text.h"
#include "package/vfs.h"
#include "foundation/com_guard.h"
#include "script_class_support.h"

using scriptclass::Arg;
using scriptclass::Count;
using scriptclass::HeapText;

namespace {

enum : DISPID { kGet = 1, kSet = 2, kDelete = 3 };

constexpr int kCreateEmpty = 0x1;
constexpr int kCreateMissing = 0x2;
constexpr int kSkipAtKeys = 0x4;

struct INIFileData {
  char* path;
  ZEQList* list;
  int options;
};

INIFileData* DataOf(CZEQDispatchEx* object) { return static_cast<INIFileData*>(object->nativeData); }

HeapText TextOf(const VARIANT* v) {
  char* text = VariantToStrDup(v, 0);
  return HeapText(text ? text : StrDupExtra("", 0));
}

std::string ComposedKey(const char* section, const char* key) { return std::string(section) + ":" + key; }

void Open(CZEQDispatchEx* object, const DISPPARAMS* params) {
  INIFileData* data = DataOf(object);
  data->path = TextOf(Arg(params, 0)).release();
  data->options = Count(params) == 2 ? VariantToInt(Arg(params, 1)) : 0;
  const DWORD disposition = (data->options & kCreateEmpty)     ? CREATE_ALWAYS
                            : (data->options & kCreateMissing) ? OPEN_ALWAYS
                                                               : 0;
  if (disposition) {
    HANDLE file = CreateFileExt(data->path, GENERIC_WRITE, 0, disposition, FILE_ATTRIBUTE_NORMAL, 0);
    CloseHandleExt(&file);
  }
  data->list = ParseINIText(data->path, (data->options & kSkipAtKeys) != 0, true);
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) < 1 || Count(params) > 2) return DISP_E_BADPARAMCOUNT;
  return scriptclass::ConstructInstance(
      classObject, ZEQINIFileGetIDsOfNames, ZEQINIFileInvoke, result,
      [params](CZEQDispatchEx* made) { Open(made, params); },
      [](CZEQDispatchEx* made) { return DataOf(made)->list != nullptr; });
}

void Lifecycle(CZEQDispatchEx* object) {
  if (object->IsRegistering()) {
    object->nativeData = HeapAllocZ(sizeof(INIFileData));
    ZEQRegisterMember(object, kGet, kZEQMemberMethod, L"Get");
    ZEQRegisterMember(object, kSet, kZEQMemberMethod, L"Set");
    ZEQRegisterMember(object, kDelete, kZEQMemberMethod, L"Delete");
  }
  if (object->IsDestroying()) {
    if (INIFileData* data = DataOf(object)) {
      if (data->list) ZEQList::Delete(data->list);
      HeapFreeZ(data->path);
      HeapFreeZ(data);
    }
    object->nativeData = nullptr;
  }
}

// The answer of Set and Delete: Success exactly when the write succeeded.
void AnswerWrite(CZEQDispatchEx* object, BOOL written, VARIANT* result) {
  const DWORD error = GetLastError();
  if (!result) return;
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, written ? 1 : 0, written > 0 ? 1 : 0, error, 4);
  if (!answer) throw ZEQOutOfMemory();
  scriptclass::AnswerObject(result, answer);
}

HRESULT Member(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  INIFileData* data = DataOf(object);
  if (!data || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const UINT n = Count(params);
  switch (id) {
    case kGet: {
      if (n != 3) return DISP_E_BADPARAMCOUNT;
      HeapText section = TextOf(Arg(params, 0));
      HeapText key = TextOf(Arg(params, 1));
      HeapText fallback = TextOf(Arg(params, 2));
      int found = 0;
      const auto value = reinterpret_cast<const char*>(ZEQListGetValueByName(
          data->list, ComposedKey(section.get(), key.get()).c_str(), reinterpret_cast<uintptr_t>(fallback.get()), &found));
      const DWORD error = GetLastError();
      if (!result) return S_OK;
      CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, found ? 1 : 0, 1, error, 4);
      if (!answer) throw ZEQOutOfMemory();
      ZEQReturnData::SetStringA(answer, L"Value", found ? value : fallback.get());
      scriptclass::AnswerObject(result, answer);
      return S_OK;
    }
    case kSet: {
      if (n != 3) return DISP_E_BADPARAMCOUNT;
      HeapText section = TextOf(Arg(params, 0));
      HeapText key = TextOf(Arg(params, 1));
      HeapText value = TextOf(Arg(params, 2));
      if (data->list) ZEQListSetStringByName(data->list, ComposedKey(section.get(), key.get()).c_str(), value.get());
      AnswerWrite(object, WritePrivateProfileStringA(section.get(), key.get(), value.get(), data->path), result);
      return S_OK;
    }
    case kDelete: {
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      HeapText section = TextOf(Arg(params, 0));
      HeapText key = TextOf(Arg(params, 1));
      if (data->list) ZEQListRemoveByName(data->list, ComposedKey(section.get(), key.get()).c_str());
      AnswerWrite(object, WritePrivateProfileStringA(section.get(), key.get(), nullptr, data->path), result);
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace

HRESULT ZEQINIFileGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQINIFileInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO*, IServiceProvider*) {
  return ZEQGuardedComCall("ZEQINIFileInvoke", [&]() -> HRESULT {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      Lifecycle(object);
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    return Member(object, id, flags, params, result);
  });
}
