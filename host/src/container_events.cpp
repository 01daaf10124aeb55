// Script events raised in a container's page.
#include "container_events.h"

#include "foundation/script_calls.h"

namespace containerevents {

namespace {

uint32_t ModeFlags(Mode mode) {
  switch (mode) {
    case Mode::Async:
      return kZEQApcCoalesce;
    case Mode::Sync:
      return 0;
    case Mode::SyncCode:
      return kZEQApcResultCoded;
  }
  return 0;
}

}  // namespace

uint32_t Raise(const ZEQContainerHolder& container, const wchar_t* name, JSArray* list, Mode mode, VARIANT* result,
               uint32_t extraFlags) {
  if (!container.IsSet()) return ZEQERROR_NOTFOUND;
  VARIANT argument;
  VariantInit(&argument);
  if (list) JSArray::ToVariant(list, &argument);
  VARIANT* given = V_VT(&argument) == VT_EMPTY ? nullptr : &argument;
  // The container itself is the caller: its script object goes with the
  // values, as the handler's first argument.
  const uint32_t code = ZEQDeliverAPC(container->eventWindow, name, nullptr, container->hostWindow, given,
                                      mode == Mode::Async ? nullptr : result, ModeFlags(mode) | extraFlags, nullptr,
                                      0, nullptr);
  VariantClear(&argument);
  return code;
}

bool PageDefines(const ZEQContainerHolder& container, const wchar_t* name) {
  if (!container.IsSet()) return false;
  return ZEQDeliverAPC(container->eventWindow, name, nullptr, nullptr, nullptr, nullptr, kZEQApcProbe, nullptr, 0,
                       nullptr) != ZEQERROR_NOTFOUND;
}

}  // namespace containerevents
