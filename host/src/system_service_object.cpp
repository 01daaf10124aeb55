// "ZEQSystemService": a program installed, run and asked through its pipe
// as a service of the platform's service manager.
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/com_guard.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "foundation/waits.h"
#include "host/ipc_message.h"
#include "host/registry_key.h"
#include "host/return_data.h"
#include "host/system_service.h"
#include "package/path_expand.h"
#include "package/system_queries.h"
#include "script_class_support.h"
#include "service_control.h"

using scriptclass::Arg;
using scriptclass::Count;
using scriptclass::HeapText;

namespace {

enum : DISPID { kInstall = 1, kStart, kInvoke, kStop, kUninstall, kQueryInfo };

constexpr DWORD kRetryWindowMs = 10001;
constexpr DWORD kRetryPauseMs = 500;
constexpr DWORD kReplyPollMs = 100;
// A service that keeps its pipe open without answering is given up after
// this long.
constexpr DWORD kReplyWaitMs = 15000;
constexpr DWORD kReplyLimit = 65536;

struct ServiceData {
  std::string commandLine;  // the program path in double quotes
  int32_t number = 0;       // kept as given; nothing reads it
  std::string name;
  std::string displayName;
};

ServiceData* DataOf(CZEQDispatchEx* object) { return static_cast<ServiceData*>(object->nativeData); }

// Elapsed milliseconds since start, across the tick counter's wrap.
DWORD Since(DWORD start) { return GetTickCount() - start; }

std::string ServiceKeyPath(const std::string& name) { return "SYSTEM\\CurrentControlSet\\Services\\" + name; }

// True when no service of the name is installed, or the one installed runs
// this object's program: only then may this object remove it.
bool MayRemove(const ServiceData& data) {
  std::string installed;
  const DWORD error = zeqservice::QueryServiceCommandLine(data.name.c_str(), &installed);
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
    // The manager may have lost it while its registry key stayed.
    char imagePath[MAX_PATH * 2] = {};
    DWORD size = sizeof(imagePath) - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ServiceKeyPath(data.name).c_str(), "ImagePath", RRF_RT_REG_SZ |
                     RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, imagePath, &size) != ERROR_SUCCESS) {
      return true;
    }
    installed = imagePath;
  } else if (error != ERROR_SUCCESS) {
    return false;
  }
  const std::string bare = data.commandLine.substr(1, data.commandLine.size() - 2);
  if (_stricmp(installed.c_str(), data.commandLine.c_str()) == 0 || _stricmp(installed.c_str(), bare.c_str()) == 0) {
    return true;
  }
  ZEQLogPrintf("InstallService: \"%s\" belongs to another program: \"%s\"", data.name.c_str(), installed.c_str());
  return false;
}

void HardUninstall(const ServiceData& data) {
  if (!MayRemove(data)) return;
  RegDeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyPath(data.name).c_str());
}

DWORD Install(const ServiceData& data) {
  const char* line = data.commandLine.c_str();
  const DWORD start = GetTickCount();
  DWORD result = zeqservice::InstallNamedService(line, data.name.c_str(), data.displayName.c_str());
  while (result != ERROR_SUCCESS) {
    // A service of this name that runs another program is never removed.
    if (!MayRemove(data)) return result;
    ZEQLogPrintf("InstallService: Trying soft uninstall...");
    zeqservice::StopNamedService(data.name.c_str());
    SleepPumpMessages(kRetryPauseMs);
    if (zeqservice::UninstallNamedService(data.name.c_str())) ZEQLogPrintf("InstallService: Soft uninstall suceeded...");
    if (Since(start) >= kRetryWindowMs) {
      ZEQLogPrintf("InstallService: Trying hard uninstall...");
      HardUninstall(data);
      return zeqservice::InstallNamedService(line, data.name.c_str(), data.displayName.c_str());
    }
    SleepPumpMessages(kRetryPauseMs);
    result = zeqservice::InstallNamedService(line, data.name.c_str(), data.displayName.c_str());
  }
  return result;
}

// Runs the operation until it succeeds or the retry window has passed; the
// last success, with the last system error in *error.
template <typename Operation>
bool Retry(Operation operation, DWORD* error) {
  const DWORD start = GetTickCount();
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const bool done = operation();
    *error = done ? ERROR_SUCCESS : GetLastError();
    if (done || Since(start) >= kRetryWindowMs) return done;
    SleepPumpMessages(kRetryPauseMs);
  }
}

HRESULT AnswerOutcome(CZEQDispatchEx* object, bool done, DWORD error, VARIANT* result) {
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, done ? 1 : 0, 1, error, 4);
  if (!answer) throw ZEQOutOfMemory();
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

HRESULT AnswerCode(CZEQDispatchEx* object, uint32_t code, uint32_t systemError, VARIANT* result) {
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, code, 0, systemError, 1);
  if (!answer) throw ZEQOutOfMemory();
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

// One reply message, waited for with the thread's messages dispatched. The
// wait ends when the service closes the pipe or after kReplyWaitMs; false
// then, with the reason in *error.
bool ReadPipeMessage(HANDLE pipe, std::wstring* reply, DWORD* error) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
      *error = GetLastError();
      return false;
    }
    if (available) break;
    if (Since(start) >= kReplyWaitMs) {
      *error = WAIT_TIMEOUT;
      return false;
    }
    SleepPumpMessages(kReplyPollMs);
  }
  std::string bytes(kReplyLimit, '\0');
  DWORD read = 0;
  if (!ReadFile(pipe, &bytes[0], kReplyLimit, &read, nullptr)) {
    *error = GetLastError();  // ERROR_MORE_DATA: a reply larger than allowed
    return false;
  }
  reply->assign(reinterpret_cast<const wchar_t*>(bytes.data()), read / sizeof(wchar_t));
  return true;
}

HRESULT InvokeService(CZEQDispatchEx* object, const ServiceData& data, DISPPARAMS* params, VARIANT* result) {
  HeapText request(VariantToStrDup(Arg(params, 0), 0));
  HeapText parameter(VariantToStrDup(Arg(params, 1), 0));
  const std::string text = std::string(request ? request.get() : "") + ", " + (parameter ? parameter.get() : "");
  HANDLE pipe = GetPipeHandle(("\\\\.\\pipe\\" + data.name).c_str());
  if (!pipe) return AnswerCode(object, ZEQERROR_NOTFOUND, uint32_t(-1), result);
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) || !SendToPipe(pipe, text.c_str())) {
    const DWORD error = GetLastError();
    CloseHandle(pipe);
    return AnswerCode(object, ZEQERROR_NOTPREPARED, error, result);
  }
  std::wstring reply;
  DWORD readError = 0;
  const bool answered = ReadPipeMessage(pipe, &reply, &readError);
  CloseHandle(pipe);
  // A service that hung up or never answered has not succeeded.
  if (!answered) return AnswerCode(object, ZEQERROR_GENERALFAILURE, readError, result);
  HeapText narrow(WideToAnsiDup(reply.c_str(), 0));
  if (!narrow) throw ZEQOutOfMemory();
  const std::string answerText = narrow.get();
  const size_t comma = answerText.find(',');
  const std::string first = answerText.substr(0, comma);
  const std::string rest = comma == std::string::npos ? std::string() : answerText.substr(comma + 1);
  const uint32_t code = uint32_t(strtol(first.c_str(), nullptr, 10));
  const uint32_t systemError = code != 0 && !rest.empty() ? uint32_t(strtol(rest.c_str(), nullptr, 10)) : uint32_t(-1);
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, code, 0, systemError, 1);
  if (!answer) throw ZEQOutOfMemory();
  if (code == 0 && !rest.empty()) ZEQReturnData::SetStringA(answer, L"Data", rest.c_str());
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

HRESULT QueryInfo(CZEQDispatchEx* object, const ServiceData& data, VARIANT* result) {
  static const char* const kStates[] = {"Stopped", "Start Pending", "Stop Pending", "Running",
                                        "Contine Pending", "Pause Pending", "Paused"};
  DWORD state = 0;
  const DWORD error = zeqservice::QueryServiceState(data.name.c_str(), &state);
  CZEQDispatchEx* answer = ZEQReturn::Create(object->owner, error == ERROR_SUCCESS ? 1 : 0, 1, error, 4);
  if (!answer) throw ZEQOutOfMemory();
  if (error == ERROR_SUCCESS && state >= 1 && state <= 7) ZEQReturnData::SetStringA(answer, L"State", kStates[state - 1]);
  scriptclass::AnswerObject(result, answer);
  return S_OK;
}

HRESULT Member(CZEQDispatchEx* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  ServiceData* data = DataOf(object);
  if (!data || data->name.empty() || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const UINT n = Count(params);
  const char* name = data->name.c_str();
  DWORD error = 0;
  switch (id) {
    case kInstall: {
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      const DWORD code = Install(*data);
      return AnswerCode(object, code, code, result);
    }
    case kStart: {
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      const bool started = Retry([name] { return zeqservice::StartNamedService(name); }, &error);
      if (!started) SleepPumpMessages(kRetryPauseMs);
      return AnswerOutcome(object, started, error, result);
    }
    case kInvoke:
      if (n < 2 || n > 3) return DISP_E_BADPARAMCOUNT;
      return InvokeService(object, *data, params, result);
    case kStop: {
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      const bool stopped = Retry([name] { return zeqservice::StopNamedService(name); }, &error);
      return AnswerOutcome(object, stopped, error, result);
    }
    case kUninstall: {
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      // A service of this name that runs another program is left alone.
      if (!MayRemove(*data)) return AnswerOutcome(object, false, ERROR_SERVICE_EXISTS, result);
      const bool removed = Retry([name] { return zeqservice::UninstallNamedService(name); }, &error);
      if (!removed) {
        ZEQLogPrintf("UninstallService: Trying hard uninstall...");
        HardUninstall(*data);
      }
      return AnswerOutcome(object, removed, error, result);
    }
    case kQueryInfo:
      if (n != 0) return DISP_E_BADPARAMCOUNT;
      return QueryInfo(object, *data, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// The names from the program path: the file name without its extension,
// and the same with every blank made '_'.
void SetNames(ServiceData* data, const std::string& path) {
  data->commandLine = "\"" + path + "\"";
  const size_t slash = path.find_last_of("\\/");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = file.rfind('.');
  if (dot != std::string::npos) file.resize(dot);
  if (file.size() > MAX_PATH) file.resize(MAX_PATH);
  data->displayName = file;
  for (char& c : file) {
    if (c == ' ') c = '_';
  }
  data->name = file;
}

HRESULT Construct(CZEQDispatchEx* classObject, DISPPARAMS* params, VARIANT* result) {
  if (!IsWindowsXPOrLater()) {
    CZEQDispatchEx* answer = ZEQReturn::Create(classObject->owner, ZEQERROR_NOTSUPPORTED, 0, uint32_t(-1), 1);
    if (!answer) throw ZEQOutOfMemory();
    scriptclass::AnswerObject(result, answer);
    return S_OK;
  }
  if (Count(params) != 2) return DISP_E_BADPARAMCOUNT;
  CZEQDispatchEx* made = CZEQDispatchEx::Create(classObject->className, classObject->owner,
                                                ZEQSystemServiceGetIDsOfNames, ZEQSystemServiceInvoke,
                                                kZEQDispInstance);
  try {
    HeapText path(VariantToExpandedPath(Arg(params, 0), 0, TRUE));
    ServiceData* data = DataOf(made);
    SetNames(data, path ? path.get() : "");
    data->number = VariantToInt(Arg(params, 1));
    static const struct {
      DISPID id;
      const wchar_t* name;
    } kMethods[] = {{kInstall, L"Install"}, {kStart, L"Start"},         {kInvoke, L"Invoke"},
                    {kStop, L"Stop"},       {kUninstall, L"Uninstall"}, {kQueryInfo, L"QueryInfo"}};
    for (const auto& method : kMethods) ZEQRegisterMember(made, method.id, kZEQMemberMethod, method.name);
  } catch (...) {
    made->Release();
    throw;
  }
  ZEQSetResultSuccess(made);
  scriptclass::AnswerObject(result, made);
  return S_OK;
}

void Lifecycle(CZEQDispatchEx* object) {
  if (object->IsRegistering()) object->nativeData = new ServiceData();
  if (object->IsDestroying()) {
    delete DataOf(object);
    object->nativeData = nullptr;
  }
}

}  // namespace

HRESULT ZEQSystemServiceGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  return ZEQLookupMember(object, name, id);
}

HRESULT ZEQSystemServiceInvoke(CZEQDispatchEx* object, DISPID id, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO*, IServiceProvider*) {
  return ZEQGuardedComCall("ZEQSystemServiceInvoke", [&]() -> HRESULT {
    if (ZEQIsLifecycleCall(id, flags, params, result)) {
      Lifecycle(object);
      return S_OK;
    }
    if (flags & DISPATCH_CONSTRUCT) return Construct(object, params, result);
    return Member(object, id, flags, params, result);
  });
}
