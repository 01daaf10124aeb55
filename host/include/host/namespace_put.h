// Publishing constants and objects as named properties of a script
// namespace object: the name is made to exist (case-sensitive) and the
// value put into it. The put's HRESULT, or the name look-up's when that
// fails.
#pragma once
#include <dispex.h>

#include <cstdint>

HRESULT ZEQDispatchPutUInt(IDispatchEx* space, const wchar_t* name, uint32_t value);
HRESULT ZEQDispatchPutString(IDispatchEx* space, const wchar_t* name, const char* text);
// null publishes VT_NULL.
HRESULT ZEQDispatchPutObject(IDispatchEx* space, const wchar_t* name, IDispatch* object);
