// Service manager operations: install, remove, start, stop and query one
// service by name.
#include "service_control.h"

#include <vector>

#include "foundation/log.h"

namespace zeqservice {

namespace {

// A handle of the manager or of a service, closed when it goes.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

SC_HANDLE OpenManager(DWORD access) { return OpenSCManagerA(nullptr, nullptr, access); }

}  // namespace

DWORD InstallNamedService(const char* commandLine, const char* name, const char* displayName) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CREATE_SERVICE));
  if (!manager) {
    const DWORD error = GetLastError();
    ZEQLogPrintf("InstallService: xOpenSCManager [FAILED] Path: \"%s\", Name: \"%s\", DisplayName: \"%s\", Error: %d",
                 commandLine, name, displayName, int(error));
    return error;
  }
  ServiceHandle service(CreateServiceA(manager.get(), name, displayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, commandLine, nullptr, nullptr,
                                       nullptr, nullptr, nullptr));
  if (!service) {
    const DWORD error = GetLastError();
    ZEQLogPrintf("InstallService: Path: \"%s\", Name: \"%s\", DisplayName: \"%s\", Result: %d", commandLine, name,
                 displayName, int(error));
    return error;
  }
  return ERROR_SUCCESS;
}

bool UninstallNamedService(const char* name) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CONNECT));
  if (!manager) {
    ZEQLogPrintf("UninstallService: xOpenSCManager [FAILED] \"%s\", Error: %d", name, int(GetLastError()));
    return false;
  }
  ServiceHandle service(OpenServiceA(manager.get(), name, DELETE | SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE) return true;
    ZEQLogPrintf("UninstallService: xOpenService [FAILED] \"%s\", Error: %d", name, int(error));
    return false;
  }
  if (DeleteService(service.get())) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE) return true;
  ZEQLogPrintf("UninstallService: \"%s\", Result: %d", name, int(error));
  return false;
}

bool StartNamedService(const char* name) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CONNECT));
  if (!manager) {
    ZEQLogPrintf("StartService: xOpenSCManager [FAILED] \"%s\", Error: %d", name, int(GetLastError()));
    return false;
  }
  ServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_START));
  if (!service) {
    ZEQLogPrintf("StartService: xOpenService [FAILED] \"%s\", Error: %d", name, int(GetLastError()));
    return false;
  }
  if (StartServiceA(service.get(), 0, nullptr)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_SERVICE_ALREADY_RUNNING) return true;
  ZEQLogPrintf("StartService: \"%s\", Result: %d", name, int(error));
  SetLastError(error);
  return false;
}

bool StopNamedService(const char* name) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CONNECT));
  if (!manager) {
    ZEQLogPrintf("StopService: xOpenSCManager [FAILED] \"%s\", Error: %d", name, int(GetLastError()));
    return false;
  }
  ServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_STOP));
  if (!service) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    ZEQLogPrintf("StopService: xOpenService [FAILED] \"%s\", Error: %d", name, int(error));
    return false;
  }
  SERVICE_STATUS status = {};
  if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_NOT_ACTIVE ||
      error == ERROR_SHUTDOWN_IN_PROGRESS) {
    return true;
  }
  ZEQLogPrintf("StopService: \"%s\", Result: %d", name, int(error));
  SetLastError(error);
  return false;
}

DWORD QueryServiceCommandLine(const char* name, std::string* commandLine) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CONNECT));
  if (!manager) return GetLastError();
  ServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_QUERY_CONFIG));
  if (!service) return GetLastError();
  DWORD needed = 0;
  QueryServiceConfigA(service.get(), nullptr, 0, &needed);
  if (!needed) return GetLastError();
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.get(), config, needed, &needed)) return GetLastError();
  commandLine->assign(config->lpBinaryPathName ? config->lpBinaryPathName : "");
  return ERROR_SUCCESS;
}

DWORD QueryServiceState(const char* name, DWORD* state) {
  ServiceHandle manager(OpenManager(SC_MANAGER_CONNECT));
  if (!manager) return GetLastError();
  ServiceHandle service(OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
  if (!service) return GetLastError();
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                            &needed)) {
    return GetLastError();
  }
  *state = status.dwCurrentState;
  return ERROR_SUCCESS;
}

}  // namespace zeqservice
