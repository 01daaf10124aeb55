// Script classes over key-value files.
//
// "ZEQDictionary"(path): a definitions file read into a list of its own, or
// one of the process-wide lists ("@system.kesto" the start-up definitions,
// "@system.loader" the loader's, "<file>@system.language" the dictionary
// after that language file is read into it). Members (methods):
//   Load(path) 1, Get(key) 2, GetNumber(key) 3, GetBoolean(key) 4,
//   Set(key, value) 20, Enum(prefix[, pattern][, all]) 30, Delete(key) 40.
//
// "ZEQINIFile"(path[, options]): an INI file read into a keyed list; every
// change is written through to the file. Options: 1 create the file empty
// first, 2 create it when missing, 4 keep keys beginning with '@' out.
// Members (methods): Get(section, key, default) 1, Set(section, key, value)
// 2, Delete(section, key) 3; each answers a "ZEQReturn" (Value, Success).
//
// Both answer Success (a list was obtained) on the new object, refuse other
// call kinds with DISP_E_MEMBERNOTFOUND and wrong argument counts with
// DISP_E_BADPARAMCOUNT.
#pragma once
#include "host/dispatch_ex.h"

constexpr wchar_t kZEQDictionaryClass[] = L"ZEQDictionary";
constexpr wchar_t kZEQINIFileClass[] = L"ZEQINIFile";

HRESULT ZEQDictionaryGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQDictionaryInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
HRESULT ZEQINIFileGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQINIFileInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
