// Script events that the host raises in the page of a container (the
// page's functions whose names begin with ZEQOn), through the cross-thread
// call delivery, to the container's event window.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "host/js_array.h"
#include "windows/records.h"

namespace containerevents {

enum class Mode {
  Async,     // posted without waiting; a pending call of the same event is replaced
  Sync,      // waits for the handler; its return value comes back in result
  SyncCode,  // waits; the handler's answer as a code (0x2001 true, 0x2002 false, 104 none)
};

// Raises the event with the values of list (handed to the handler as one
// array; none when the list is null or empty). extraFlags adds delivery
// flags (the spread of the list into separate arguments, the answer-code
// flag of an asynchronous event). The delivery's code: 0 for an event only
// posted, 104 when the container or its page is not there.
uint32_t Raise(const ZEQContainerHolder& container, const wchar_t* name, JSArray* list, Mode mode,
               VARIANT* result = nullptr, uint32_t extraFlags = 0);

// True when the container's page defines the function (asked without
// calling it).
bool PageDefines(const ZEQContainerHolder& container, const wchar_t* name);

}  // namespace containerevents
