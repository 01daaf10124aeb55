// The "ZEQThread" script class.
#include "host/zeq_thread.h"

#include <cstring>
#include <new>

#include "foundation/com_guard.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/variant.h"
#include "foundation/waits.h"
#include "host/return_data.h"
#include "host/zeqibc.h"
#include "package/path_expand.h"
#include "windows/container_windows.h"
#include "windows/program_windows.h"

namespace {

// Flags of the thread's window: hidden, the program's own pages, a UI
// thread of its own.
constexpr uint32_t kThreadWindowFlags = WB_ALWAYSHIDDEN | WB_ALLOWSZEQ | WB_OWNTHREAD;
constexpr DWORD kWaitFlags = kZEQWaitPumpInput | kZEQWaitCom;

struct ThreadRecord {
  uint32_t first;
  char* url;
  int32_t number;
  IDispatch* containerObject;
  ZEQWindowHolder window;
  HANDLE alive;   // our own copy of the window's "HWND::ALIVEEVENT"
  HANDLE thread;  // our own copy of the UI thread's handle
};

void TrimBlanks(char* text) {
  if (!text) return;
  size_t start = 0;
  while (text[start] == ' ' || text[start] == '\t') ++start;
  size_t end = strlen(text);
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  memmove(text, text + start, end - start);
  text[end - start] = 0;
}

ThreadRecord* RecordOf(CZEQDispatchEx* object) { return static_cast<ThreadRecord*>(object->nativeData); }

// The thread's window while it lives; none once its destruction has begun
// (its alive event is signalled then).
HWND LiveWindow(ThreadRecord* record) {
  if (!record || !record->window.IsSet()) return nullptr;
  if (record->alive && WaitForSingleObject(record->alive, 0) == WAIT_OBJECT_0) return nullptr;
  HWND window = record->window->window;
  return IsWindow(window) ? window : nullptr;
}

HANDLE Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  if (handle) {
    DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
  }
  return copy;
}

void FreeRecord(ThreadRecord* record) {
  if (!record) return;
  record->window.~ZEQWindowHolder();
  if (record->containerObject) record->containerObject->Release();
  if (record->alive) CloseHandle(record->alive);
  if (record->thread) CloseHandle(record->thread);
  HeapFreeZ(record->url);
  HeapFreeZ(record);
}

void AnswerObject(VARIANT* result, CZEQDispatchEx* object) {
  if (!result) {
    if (object) object->Release();
    return;
  }
  VariantClear(result);
  if (!object) return;
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
}

void AnswerReturn(VARIANT* result, HWND owner, uint32_t code, uint32_t expected, uint32_t mode) {
  AnswerObject(result, ZEQReturn::Create(owner, code, expected, 0xFFFFFFFF, mode));
}

// The close arguments of the thread's container as a value for the caller.
void ReadExitArgument(ThreadRecord* record, VARIANT* value) {
  VariantInit(value);
  if (!record->window.IsSet() || !record->window->container.IsSet()) return;
  const ZEQMarshaledVariant* arguments = record->window->container->closeArguments;
  if (arguments) UnmarshalVariantForThread(value, arguments);
}

void SetExitArgument(ThreadRecord* record, const VARIANT* value) {
  if (!record->window.IsSet() || !record->window->container.IsSet()) return;
  ZEQSetContainerCloseArguments(record->window->container, value ? MarshalVariantForThread(value) : nullptr);
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  const UINT count = params ? params->cArgs : 0;
  if (count != 2 && count != 3) return DISP_E_BADPARAMCOUNT;
  CZEQDispatchEx* object = CZEQDispatchEx::Create(classObject->className, classObject->owner,
                                                  ZEQThreadGetIDsOfNames, ZEQThreadInvoke, kZEQDispInstance);
  ThreadRecord* record = RecordOf(object);
  // Arguments arrive last first.
  const VARIANT* url = &params->rgvarg[count - 1];
  record->url = VariantToExpandedPath(url, 0, FALSE);
  TrimBlanks(record->url);
  ZEQMarshaledVariant* argument = count == 3 ? MarshalVariantForThread(&params->rgvarg[1]) : nullptr;
  record->number = VariantToInt(&params->rgvarg[0]);

  HWND window = nullptr;
  ZEQCreateContainerWindow(nullptr, "", nullptr, nullptr, argument, "", kThreadWindowFlags, 0, &window,
                           ZEQContainerHolder(), ZEQContainerHolder());
  if (window) {
    SetPropA(window, "ZEQTHREADOBJECT", static_cast<IDispatchEx*>(object));
    ZEQWindowHolder windowRecord = ZEQGetWindowParam(window);
    record->window.ShareFrom(windowRecord);
    record->alive = Duplicate(GetPropA(window, "HWND::ALIVEEVENT"));
    if (windowRecord.IsSet()) record->thread = Duplicate(windowRecord->uiThread);
    // The new container's own script object answers the members the
    // thread object does not have.
    ZEQContainerHolder container = ZEQGetBaseContainer(ZEQGetBodyWindow(window));
    if (CZEQDispatchEx* containerObject = ZEQIBC(container)) {
      record->containerObject = static_cast<IDispatchEx*>(containerObject);
    }
  }
  static const struct {
    DISPID id;
    uint32_t kind;
    const wchar_t* name;
  } members[] = {
      {kZEQThreadStart, kZEQMemberProperty, L"Start"},   {kZEQThreadId, kZEQMemberProperty, L"Id"},
      {kZEQThreadExitArgument, kZEQMemberProperty, L"ExitArgument"}, {kZEQThreadWait, kZEQMemberMethod, L"Wait"},
      {kZEQThreadExit, kZEQMemberMethod, L"Exit"},       {kZEQThreadTerminate, kZEQMemberMethod, L"Terminate"},
      {kZEQThreadSuspend, kZEQMemberMethod, L"Suspend"}, {kZEQThreadResume, kZEQMemberMethod, L"Resume"},
  };
  for (const auto& member : members) ZEQRegisterMember(object, member.id, member.kind, member.name);
  ZEQReturnData::SetResult(object, window ? 1 : 0, 1, 0xFFFFFFFF, 4);
  AnswerObject(result, object);
  return S_OK;
}

// Waits for the thread's window to go: 1 when it has gone, else 0.
uint32_t WaitForWindow(ThreadRecord* record, DWORD timeout) {
  if (!record->alive) return 1;
  HANDLE alive = record->alive;
  return WaitForHandleExt(&alive, timeout, nullptr, kWaitFlags) ? 1 : 0;
}

HRESULT Wait(CZEQDispatchEx* object, ThreadRecord* record, DISPPARAMS* params, VARIANT* result) {
  const UINT count = params ? params->cArgs : 0;
  if (count > 1) return DISP_E_BADPARAMCOUNT;
  const DWORD timeout = count ? static_cast<DWORD>(VariantToInt(&params->rgvarg[0])) : INFINITE;
  const uint32_t code = WaitForWindow(record, timeout);
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, code, 1, 0xFFFFFFFF, 4);
  if (answer) {
    VARIANT exitArgument;
    ReadExitArgument(record, &exitArgument);
    ZEQReturnData::SetVariant(answer, L"ExitArguments", &exitArgument);
    VariantClear(&exitArgument);
  }
  AnswerObject(result, answer);
  return S_OK;
}

HRESULT Terminate(CZEQDispatchEx* object, ThreadRecord* record, HWND window, DISPPARAMS* params, VARIANT* result) {
  if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
  SetExitArgument(record, &params->rgvarg[0]);
  DestroyWindowExt(window, TRUE);
  // The thread ends with its last window; it is given a bounded time.
  uint32_t ended = 1;
  if (record->thread) {
    HANDLE thread = record->thread;
    ended = WaitForHandleExt(&thread, kZEQThreadTerminateWaitMs, nullptr, kWaitFlags) ? 1 : 0;
  }
  if (!ended) ZEQLogPrintf("ZEQThread::Terminate: the thread did not end within %lu ms", kZEQThreadTerminateWaitMs);
  AnswerReturn(result, object->owner, ended, 1, 4);
  return S_OK;
}

}  // namespace

HRESULT ZEQThreadGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  HRESULT hr = ZEQLookupMember(object, name, id);
  ThreadRecord* record = RecordOf(object);
  if (FAILED(hr) && record && record->containerObject && name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    hr = record->containerObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  }
  return hr;
}

HRESULT ZEQThreadInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) {
  if (ZEQIsLifecycleCall(id, flags, params, result)) {
    if (object->IsRegistering() && !object->nativeData) {
      auto record = static_cast<ThreadRecord*>(HeapAllocZ(sizeof(ThreadRecord)));
      new (&record->window) ZEQWindowHolder();
      object->nativeData = record;
    }
    if (object->IsDestroying()) {
      FreeRecord(RecordOf(object));
      object->nativeData = nullptr;
    }
    return S_OK;
  }
  try {
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    ThreadRecord* record = RecordOf(object);
    if (!record) return DISP_E_MEMBERNOTFOUND;
    if ((id < kZEQThreadStart || id > kZEQThreadResume) && record->containerObject) {
      return record->containerObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, nullptr,
                                             nullptr);
    }
    const UINT count = params ? params->cArgs : 0;
    const bool call = (flags & DISPATCH_METHOD) != 0;
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    HWND window = LiveWindow(record);
    // What was left behind stays readable once the window is gone: the exit
    // argument and the wait, which answers at once.
    if (id == kZEQThreadWait && call) return Wait(object, record, params, result);
    if (id == kZEQThreadExitArgument && get && !put) {
      if (result) {
        VariantClear(result);
        ReadExitArgument(record, result);
      }
      return S_OK;
    }
    if (!window) {
      if (id >= kZEQThreadStart && id <= kZEQThreadResume) return S_OK;
      return DISP_E_MEMBERNOTFOUND;
    }
    switch (id) {
      case kZEQThreadStart:
        if (!call) return DISP_E_MEMBERNOTFOUND;
        if (record->url && *record->url) ZEQPostContainerNavigation(window, record->url);
        AnswerReturn(result, object->owner, 1, 1, 4);
        return S_OK;
      case kZEQThreadId:
        if (!get) return DISP_E_MEMBERNOTFOUND;
        if (result) {
          VariantClear(result);
          V_VT(result) = VT_UI4;
          V_UI4(result) = GetCurrentThreadId();
        }
        return S_OK;
      case kZEQThreadExitArgument:
        if (!put) return DISP_E_MEMBERNOTFOUND;
        if (count != 1) return DISP_E_BADPARAMCOUNT;
        SetExitArgument(record, &params->rgvarg[0]);
        return S_OK;
      case kZEQThreadExit: {
        if (!call) return DISP_E_MEMBERNOTFOUND;
        if (count > 1) return DISP_E_BADPARAMCOUNT;
        SetExitArgument(record, count ? &params->rgvarg[0] : nullptr);
        AnswerReturn(result, object->owner, DestroyWindowExt(window, TRUE) ? 1 : 0, 1, 4);
        return S_OK;
      }
      case kZEQThreadTerminate:
        if (!call) return DISP_E_MEMBERNOTFOUND;
        return Terminate(object, record, window, params, result);
      case kZEQThreadSuspend:
      case kZEQThreadResume:
        if (!call) return DISP_E_MEMBERNOTFOUND;
        // A UI thread frozen while it holds the heap, a list or a COM lock
        // would stop the whole program: it is not suspended.
        ZEQLogPrintf("ZEQThread::%s: a UI thread is not suspended or resumed",
                     id == kZEQThreadSuspend ? "Suspend" : "Resume");
        AnswerObject(result, ZEQReturn::CreateFailed(object->owner));
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  } ZEQ_COM_CATCH("ZEQThread::Invoke")
}
