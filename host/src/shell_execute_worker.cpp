// The worker thread of an asynchronous shell-execute.
#include "host/shell_execute_worker.h"

#include <objbase.h>
#include <process.h>

#include "container_events.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "foundation/waits.h"
#include "host/js_array.h"
#include "package/vfs.h"
#include "windows/records.h"

namespace {

// The answer code of a handler that returned false.
constexpr uint32_t kHandlerSaidNo = 0x2002;

void AppendDetails(JSArray* array, const ShellExecuteStartRecord* record) {
  array->AppendStringA(record->verb);
  array->AppendStringA(record->file);
  array->AppendStringA(record->parameters);
  array->AppendStringA(record->folder);
  array->AppendUInt(record->showCommand);
  array->AppendUInt(record->flags);
}

uint32_t RaiseEvent(const ZEQContainerHolder& container, const wchar_t* name, JSArray* arguments) {
  return containerevents::Raise(container, name, arguments, containerevents::Mode::SyncCode, nullptr,
                                kZEQApcArgumentList);
}

void Work(ShellExecuteStartRecord* record, const ZEQContainerHolder& container) {
  JSArray* arguments = JSArray::New();
  try {
    bool wait = true;
    if (ZEQIsContainerReady(container)) {
      AppendDetails(arguments, record);
      wait = RaiseEvent(container, L"ZEQOnShellExecuteInitialize", arguments) != kHandlerSaidNo;
    }
    if (wait) {
      arguments->Clear();
      DWORD exitCode = 0;
      const bool ended = WaitForHandleExt(&record->process, INFINITE, nullptr, kZEQWaitPumpInput) &&
                         GetExitCodeProcess(record->process, &exitCode);
      arguments->AppendUInt(ended ? ZEQERROR_NOERROR : ZEQERROR_GENERALFAILURE);
      AppendDetails(arguments, record);
      if (ended) arguments->AppendUInt(exitCode);
      if (ZEQIsContainerReady(container)) RaiseEvent(container, L"ZEQOnShellExecuteFinalize", arguments);
    }
  } catch (...) {
    ZEQLogUnexpected("ShellExecuteWaitThread");
  }
  JSArray::Delete(arguments);
}

unsigned __stdcall ShellExecuteWaitThread(void* argument) {
  auto* record = static_cast<ShellExecuteStartRecord*>(argument);
  const HRESULT ole = OleInitialize(nullptr);
  {
    ZEQContainerHolder container = ZEQGetBaseContainer(record->window);
    Work(record, container);
  }
  FreeShellExecuteStartRecord(record);
  if (SUCCEEDED(ole)) OleUninitialize();
  return 0;
}

}  // namespace

ShellExecuteStartRecord* NewShellExecuteStartRecord() {
  return static_cast<ShellExecuteStartRecord*>(HeapAllocZ(sizeof(ShellExecuteStartRecord)));
}

void FreeShellExecuteStartRecord(ShellExecuteStartRecord* record) {
  if (!record) return;
  if (record->process && record->process != INVALID_HANDLE_VALUE) CloseHandleExt(&record->process);
  if (record->value) {
    VariantClear(record->value);
    HeapFreeZ(record->value);
    record->value = nullptr;
  }
  HeapFreeZ(record);
}

HANDLE StartShellExecuteWaitThread(ShellExecuteStartRecord* record) {
  if (!record) return nullptr;
  const uintptr_t thread = _beginthreadex(nullptr, 0, ShellExecuteWaitThread, record, 0, nullptr);
  return reinterpret_cast<HANDLE>(thread);
}
