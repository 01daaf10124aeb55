// Script classes of small shared data:
// - "ZEQList" (ordered by position) and "ZEQBinaryList" (keyed by token text,
//   kept sorted): lockable lists of tokens, each carrying up to 16 values,
//   that pages and threads share. Values that hold objects are kept as
//   cross-thread records and fetched again for the reading thread.
// - "ZEQBinary": a placeholder with one empty property "Id".
// - "KESTOGlobal": objects whose expandos are shared by every page of every
//   container, with the paths of the running container.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

class CZEQDispatchEx;

// Most values one token carries; an add with more is refused
// (DISP_E_BADPARAMCOUNT).
constexpr int kZEQListTokenValues = 16;

HRESULT ZEQListGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
// The class Invoke callback of "ZEQList" and "ZEQBinaryList" (every class
// name other than "ZEQList" is keyed).
HRESULT ZEQListInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, IServiceProvider* caller);

HRESULT ZEQBinaryInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

HRESULT KESTOGlobalInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
// The container's own folder and the loader path it was started with, read
// by "KESTOPath" and "LoaderPath" (set by start-up; copied).
void KESTOGlobalSetPaths(const char* kestoPath, const char* loaderPath);
