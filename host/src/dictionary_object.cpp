// "ZEQDictionary": typed look-ups, enumerations and changes of a
// definitions list from page script.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/definitions_objects.h"
#include "host/js_array.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/path_expand.h"
#include "foundation/com_guard.h"
#include "script_class_support.h"

using scriptclass::Arg;
using scriptclass::Count;
using scriptclass::HeapText;

namespace {

enum : DISPID {
  kLoad = 1,
  kGet = 2,
  kGetNumber = 3,
  kGetBoolean = 4,
  kSet = 20,
  kEnum = 30,
  kDelete = 40,
};

struct DictionaryData {
  char* path;
  DefinitionsList* list;
  int owned;  // the list is deleted with the object
};

DictionaryData* DataOf(CZEQDispatchEx* object) { return static_cast<DictionaryData*>(object->nativeData); }
uintptr_t ContextOf(CZEQDispatchEx* object) { return reinterpret_cast<uintptr_t>(object->owner); }

// A script argument as a path: macros replaced, loader-relative forms
// expanded, normalised.
HeapText ExpandedPath(const VARIANT* v) { return HeapText(VariantToExpandedPath(v, 0, TRUE)); }

const char* FindNoCase(const char* text, const char* part) {
  const size_t n = strlen(part);
  for (const char* at = text; *at; ++at) {
    if (_strnicmp(at, part, n) == 0) return at;
  }
  return nullptr;
}

void Attach(CZEQDispatchEx* object, const DISPPARAMS* params) {
  const VARIANT* argument = Arg(params, 0);
  DictionaryData* data = DataOf(object);
  HeapText raw(VariantToStrDup(argument, 0));
  HeapText path = ExpandedPath(argument);
  if (path) data->path = StrDupExtra(path.get(), 0);
  const char* language = path ? FindNoCase(path.get(), "@system.language") : nullptr;
  if (language) {
    HeapText file(StrDupExtra(path.get(), 0));
    file.get()[language - path.get()] = '\0';
    DefinitionsList* dictionary = ParseDefinitionsFile(ContextOf(object), file.get(), 0, GetGlobalDictionary(), 1);
    SetGlobalDictionary(dictionary);
    data->list = dictionary;
  } else if (raw && _stricmp(raw.get(), "@system.kesto") == 0) {
    data->list = GetStartupDefinitions();
  } else if (raw && _stricmp(raw.get(), "@system.loader") == 0) {
    data->list = GetLoaderDefinitions();
  }
  if (!data->list && path) {
    data->list = ParseDefinitionsFile(ContextOf(object), path.get(), 0, nullptr, 0);
    data->owned = data->list != nullptr;
  }
}

// The value of a key argument: found (value null for an entry without one)
// or not.
bool Lookup(DictionaryData* data, const VARIANT* key, const char** value) {
  if (!data->list) return false;
  HeapText name(VariantToStrDup(key, 0));
  int found = 0;
  *value = DefinitionGetValue(data->list, nullptr, name ? name.get() : "", nullptr, &found);
  return found != 0;
}

HeapText AnsiValue(const char* value) { return HeapText(Utf8ToAnsiDup(value ? value : "", 0)); }

void SetNumber(VARIANT* result, const char* text) {
  int sign = 1;
  if (*text == '-') {
    sign = -1;
    ++text;
  } else if (*text == '+') {
    ++text;
  }
  if (strchr(text, '.')) {
    VariantInitDouble(result, atof(text) * sign);
    return;
  }
  const char* digits = nullptr;
  int base = 0;
  if (*text == 'x' || *text == 'X') {
    digits = text + 1;
    base = 16;
  } else if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    digits = text + 2;
    base = 16;
  } else if (text[0] == '0') {
    digits = text + 1;
    base = 8;
  }
  if (digits) {
    VariantInitUInt(result, uint32_t(strtoul(digits, nullptr, base)) * uint32_t(sign));
  } else {
    VariantInitInt(result, atoi(text) * sign);
  }
}

bool IsFalseText(const char* text) {
  static const char* const kFalse[] = {"0", "-", "NO", "NEGATIVE", "NONE", "DISABLED", "FALSE", "UNCHECK", "UNCHECKED"};
  if (!*text) return true;
  for (const char* word : kFalse) {
    if (_stricmp(text, word) == 0) return true;
  }
  return false;
}

void Enumerate(DictionaryData* data, const DISPPARAMS* params, VARIANT* result) {
  const UINT n = Count(params);
  HeapText prefix(VariantToStrDup(Arg(params, 0), 0));
  HeapText pattern(n == 3 ? VariantToStrDup(Arg(params, 1), 0) : nullptr);
  const bool all = n >= 2 && VariantToBool(Arg(params, n - 1));
  ZEQList* selection = data->list ? DefinitionSelectChildren(data->list, "", prefix ? prefix.get() : "",
                                                             pattern.get(), all)
                                  : nullptr;
  JSArray array;
  array.Init();
  try {
    array.ResetToUInt(selection ? 0 : 2);
    for (int i = 0; selection && i < selection->count; ++i) {
      const ZEQListItem* item = selection->GetItemAt(i);
      HeapText value = AnsiValue(reinterpret_cast<const char*>(item->value1));
      JSArray* pair = static_cast<JSArray*>(ZEQBuildArguments(kZEQBuildArray, "ss", item->KeyText(), value.get()));
      array.AppendArray(pair);
      JSArray::Delete(pair);
    }
    if (result) JSArray::ToVariant(&array, result);
  } catch (...) {
    array.Destroy();
    if (selection) ZEQList::Delete(selection);
    throw;
  }
  array.Destroy();
  if (selection) ZEQList::Delete(selection);
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  if (Count(params) != 1) return DISP_E_BADPARAMCOUNT;
  return scriptclass::ConstructInstance(
      classObject, ZEQDictionaryGetIDsOfNames, ZEQDictionaryInvoke, result,
      [params](CZEQDispatchEx* made) { Attach(made, params); },
      [](CZEQDispatchEx* made) { return DataOf(made)->list != nullptr; });
}

void Lifecycle(CZEQDispatchEx* object) {
  if (object->IsRegistering()) {
    object->nativeData = HeapAllocZ(sizeof(DictionaryData));
    ZEQRegisterMember(object, kLoad, kZEQMemberMethod, L"Load");
    ZEQRegisterMember(object, kGet, kZEQMemberMethod, L"Get");
    ZEQRegisterMember(object, kGetNumber, kZEQMemberMethod, L"GetNumber");
    ZEQRegisterMember(object, kGetBoolean, kZEQMemberMethod, L"GetBoolean");
    ZEQRegisterMember(object, kSet, kZEQMemberMethod, L"Set");
    ZEQRegisterMember(object, kEnum, kZEQMemberMethod, L"Enum");
    ZEQRegisterMember(object, kDelete, kZEQMemberMethod, L"Delete");
  }
  if (object->IsDestroying()) {
    if (DictionaryData* data = DataOf(object)) {
      if (data->owned) DefinitionsList::Delete(data->list);
      HeapFreeZ(data->path);
      HeapFreeZ(data);
    }
    object->nativeData = nullptr;
  }
}

HRESULT Member(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  DictionaryData* data = DataOf(object);
  if (!data || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const UINT n = Count(params);
  VARIANT answer;
  VariantInit(&answer);
  switch (id) {
    case kLoad: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      HeapText path = ExpandedPath(Arg(params, 0));
      DefinitionsList* read = path ? ParseDefinitionsFile(ContextOf(object), path.get(), 0, data->list, 0) : nullptr;
      if (read && !data->list) {
        data->list = read;
        data->owned = 1;
      }
      VariantInitInt(&answer, read ? 1 : 0);
      break;
    }
    case kGet:
    case kGetNumber:
    case kGetBoolean: {
      if (n < 1 || n > 2) return DISP_E_BADPARAMCOUNT;
      const char* value = nullptr;
      if (!Lookup(data, Arg(params, 0), &value)) {
        VariantInitNull(&answer);
        break;
      }
      HeapText text = AnsiValue(value);
      if (id == kGet) {
        VariantSetString(&answer, text.get());
      } else if (id == kGetNumber) {
        SetNumber(&answer, text.get());
      } else {
        VariantInitBool(&answer, !IsFalseText(text.get()));
      }
      break;
    }
    case kSet: {
      if (n != 2) return DISP_E_BADPARAMCOUNT;
      int stored = 0;
      if (data->list) {
        HeapText key(VariantToStrDup(Arg(params, 0), 0));
        HeapText value(VariantToStrDup(Arg(params, 1), 0));
        stored = DefinitionSetValue(data->list, key ? key.get() : "", value.get()) ? 1 : 0;
      }
      VariantInitInt(&answer, stored);
      break;
    }
    case kEnum:
      if (n < 1 || n > 3) return DISP_E_BADPARAMCOUNT;
      Enumerate(data, params, result);
      return S_OK;
    case kDelete: {
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      int removed = 0;
      if (data->list) {
        HeapText key(VariantToStrDup(Arg(params, 0), 0));
        removed = key ? DefinitionRemove(data->list, key.get()) : 0;
      }
      VariantInitInt(&answer, removed);
      break;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (result) {
    VariantClear(result);
    *result = answer;
  } else {
    VariantClear(&answer);
  }
  return S_OK;
}

}  // namespace

HRESULT ZEQDictionaryGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQDictionaryInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO*, IServiceProvider*) {
  return ZEQGuardedComCall("ZEQDictionaryInvoke", [&]() -> HRESULT {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      Lifecycle(object);
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    return Member(object, id, flags, params, result);
  });
}
