// What the members of the window functions share: the call they serve,
// argument reading in script order, container and window look-ups and the
// two answer forms (status number, status array).
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/result_codes.h"
#include "host/dispatch_ex.h"
#include "host/js_array.h"
#include "windows/records.h"

namespace zeqwinfn {

constexpr int32_t kStatusAlreadyExists = 105;  // ZEQERROR_ALREADYEXISTS
constexpr int32_t kStatusNotApplicable = 502;  // ZEQERROR_NOTAPPLICABLE

struct Call {
  CZEQDispatchEx* object;
  WORD flags;
  DISPPARAMS* params;
  VARIANT* result;
  ZEQContainerHolder calling;  // the base container of the calling page
};

UINT Count(const Call& call);
// The argument at a script position, or null past the count.
const VARIANT* Arg(const Call& call, UINT index);
int32_t Int(const Call& call, UINT index);
bool Flag(const Call& call, UINT index);
// The low 16 bits of the value as they stand (script's true is -1).
bool RawFlag(const Call& call, UINT index);
// A heap copy of the text (HeapFreeZ), "" when the value holds none.
char* Text(const Call& call, UINT index);
// The container an argument names (empty when none is alive).
ZEQContainerHolder ContainerArg(const Call& call, UINT index);
// The argument's container when the argument is there, else the calling
// container.
ZEQContainerHolder OptionalContainer(const Call& call, UINT index);
// The top-level window above the container's host window.
HWND TargetWindow(const ZEQContainerHolder& container);
// The window record of the container's host window.
ZEQWindowHolder RecordOf(const ZEQContainerHolder& container);

void AnswerStatus(const Call& call, int32_t status);
// A status array: [status] alone, or [0, ...] filled by the caller.
class StatusArray {
 public:
  StatusArray();
  ~StatusArray();
  StatusArray(const StatusArray&) = delete;
  StatusArray& operator=(const StatusArray&) = delete;
  JSArray* Values() { return array_; }
  // Appends the container's ZEQIBC object (null when it has none).
  void AppendContainer(const ZEQContainerHolder& container);
  HRESULT Answer(const Call& call, int32_t status);

 private:
  JSArray* array_;
};
HRESULT AnswerFailure(const Call& call);

// The members, by family.
HRESULT ServeQuery(const Call& call, DISPID id);
HRESULT ServeChange(const Call& call, DISPID id);

}  // namespace zeqwinfn
