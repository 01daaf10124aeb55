// "ZEQRegKey"(root, sub key[, options]): a registry key opened (or, with
// ZEQREG_CREATE, created) for page script. The root is one of the
// predefined keys (HKEY_CURRENT_USER ...); the options default to create
// with full access. Whether the key opened is in the object's result
// members; only then has it its methods:
//   CreateKey(sub) 1, OpenKey(sub) 2, GetInfo() 3, Flush() 4,
//   EnumSubKeys([patterns[, flags]]) 5, Delete([sub]) 6, GetValue(name) 7,
//   SetValue(name, value) 8, EnumValues([patterns]) 9, DeleteValue(name) 10.
// Each answers a "ZEQReturn" carrying the system's error code.
//
// A child made by CreateKey or OpenKey holds its own key and its path from
// the predefined root, so it keeps working after its parent is gone.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"

constexpr wchar_t kZEQRegKeyClass[] = L"ZEQRegKey";

HRESULT ZEQRegKeyGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQRegKeyInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

// Deletes the key and everything below it, children first. The walk stops
// at the first child that cannot be removed and answers its error; the
// system error code otherwise (0 when the whole tree is gone).
LSTATUS RegDeleteKeyTree(HKEY root, const char* subKey);
