// "ZEQPackage"(path): packages made, filled, changed, read and extracted by
// page script. The object holds at most one package at a time (Create or
// Open give it one, a successful Close lets it go); an object made with an
// empty path and opened holds the running application's package, which it
// never frees. Members (methods unless noted):
//   Create 1, Open 2, Close 3, GetInfo 4, SetCustom 5, AddData 6,
//   Get/GetData 7, AddFile 8, AddFolder 9, Extract 10, GetContent 11,
//   SetContent 12, onextracterror 13 (property), SetPassword 14,
//   Remove/RemoveData 15, Change/ChangeData 16.
// Each answers a "ZEQReturn"; without a package every member but Create and
// Open answers 309 (not prepared). Extraction from script is never trusted:
// its output stays inside its target and it runs nothing.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"

constexpr wchar_t kZEQPackageClass[] = L"ZEQPackage";

HRESULT ZEQPackageGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQPackageInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
