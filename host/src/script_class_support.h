// Pieces shared by the Invoke callbacks of script classes: positional
// arguments in script order, construction of an instance, and the guard that
// keeps C++ exceptions from crossing the COM boundary.
#pragma once
#include <oaidl.h>

#include <cstdint>
#include <memory>
#include <new>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"

namespace scriptclass {

inline UINT Count(const DISPPARAMS* params) { return params ? params->cArgs - params->cNamedArgs : 0; }
inline const VARIANT* Arg(const DISPPARAMS* params, UINT i) { return &params->rgvarg[params->cArgs - 1 - i]; }

// A flag word or key number as script writes it: JScript hands numbers from
// 2^31 on as doubles, which keep their top bit here; anything else is read
// as VariantToInt reads it.
inline uint32_t UnsignedArg(const VARIANT* value) {
  if (value && V_VT(value) == VT_R8 && V_R8(value) >= 0 && V_R8(value) < 4294967296.0) return uint32_t(V_R8(value));
  return uint32_t(VariantToInt(value));
}

struct HeapTextDeleter {
  void operator()(char* text) const { HeapFreeZ(text); }
};
using HeapText = std::unique_ptr<char, HeapTextDeleter>;

// Hands a new object (its one reference) to the result, or releases it when
// the caller wants none.
inline void AnswerObject(VARIANT* result, IDispatch* object) {
  if (!result) {
    object->Release();
    return;
  }
  VariantClear(result);
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
}

// A new instance of the class object's class (flags 0x10001): open fills its
// native data (the half-made object is released when open raises), Success
// tells whether obtained(instance) holds, and the instance goes to the result.
template <typename Open, typename Obtained>
HRESULT ConstructInstance(CZEQDispatchEx* classObject, ZEQGetIDsOfNamesCallback getIds, ZEQInvokeCallback invoke,
                          VARIANT* result, Open open, Obtained obtained) {
  CZEQDispatchEx* made =
      CZEQDispatchEx::Create(classObject->className, classObject->owner, getIds, invoke, kZEQDispInstance);
  try {
    open(made);
  } catch (...) {
    made->Release();
    throw;
  }
  ZEQReturnData::SetResult(made, obtained(made) ? 1 : 0, 1, uint32_t(-1), 4);
  AnswerObject(result, made);
  return S_OK;
}


}  // namespace scriptclass
