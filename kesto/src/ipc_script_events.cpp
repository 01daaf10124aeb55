// The script side of the command channel.
#include "ipc_script_events.h"

#include <cstdio>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "host/js_array.h"
#include "kesto/pipe_server.h"
#include "windows/records.h"

namespace {

// Raises a page function on a window with the values of a list as its
// arguments; result (optional) makes the call wait for the handler.
uint32_t Raise(HWND window, const wchar_t* name, JSArray& list, uint32_t flags, VARIANT* result) {
  VARIANT arguments;
  VariantInit(&arguments);
  JSArray::ToVariant(&list, &arguments);
  const uint32_t code = ZEQDeliverAPC(window, name, nullptr, nullptr, V_VT(&arguments) == VT_EMPTY ? nullptr : &arguments,
                                      result, flags | kZEQApcArgumentList, nullptr, 0, nullptr);
  VariantClear(&arguments);
  return code;
}

std::string MessageText(const IPCMessage& request) {
  return IPCMessageParamKind(request, 0) == kIpcParamString ? IPCMessageParamString(request, 0)
                                                            : IPCMessageParamNarrow(request, 0);
}

}  // namespace

bool IPCDeliverToScript(const IPCMessage& request, IPCMessage* reply, const char* pipeName) {
  HWND main = ZEQLoaderHostWindow();
  const uint32_t kind = request.kind & kIpcKindMask;
  if (kind == kIpcCall && request.command == "Message") {
    const std::string text = MessageText(request);
    if (text.empty()) return false;
    JSArray list;
    list.Init();
    list.AppendStringA(pipeName);
    list.AppendStringA(text.c_str());
    VARIANT answer;
    VariantInit(&answer);
    if (IsWindow(main)) {
      Raise(main, L"KESTOOnIPCMessage", list, reply ? kZEQApcNoContainerArgument : kZEQApcCoalesce | kZEQApcNoContainerArgument,
            reply ? &answer : nullptr);
    }
    list.Destroy();
    if (reply && V_VT(&answer) == VT_BSTR && V_BSTR(&answer)) {
      size_t length = 0;
      char* utf8 = WideToUtf8DupLen(V_BSTR(&answer), &length, 0);
      if (utf8) IPCMessageAddString(*reply, utf8);
      HeapFreeZ(utf8);
    }
    VariantClear(&answer);
    return true;
  }
  if (kind == kIpcEvent) {
    if (request.command.empty() || request.command.size() > kIpcEventCommandMax) {
      ZEQLogPrintf("IPCDeliverToScript: an event name of %u characters was refused",
                   static_cast<unsigned>(request.command.size()));
      return false;
    }
    wchar_t name[80];
    swprintf(name, sizeof name / sizeof name[0], L"KESTOOnIPC%hs", request.command.c_str());
    JSArray list;
    list.Init();
    IPCMessageToScriptArray(request, &list);
    if (IsWindow(main)) Raise(main, name, list, kZEQApcCoalesce | kZEQApcNoContainerArgument, nullptr);
    list.Destroy();
    return true;
  }
  return false;
}

bool IPCReplyCallback(const IPCMessage& reply, uint64_t callbackId) {
  if (!callbackId) return false;
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<uint32_t>(callbackId)));
  if (!IsWindow(window)) return false;
  wchar_t name[16];
  swprintf(name, sizeof name / sizeof name[0], L"%u", static_cast<unsigned>(callbackId >> 32));
  JSArray list;
  list.Init();
  IPCMessageToScriptArray(reply, &list);
  Raise(window, name, list, kZEQApcCoalesce, nullptr);
  list.Destroy();
  return true;
}
