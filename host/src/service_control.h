// The service manager operations behind "ZEQSystemService". Each opens the
// manager of this machine, closes every handle it opened, and logs its
// failures with the service's names.
#pragma once
#include <windows.h>

#include <string>

namespace zeqservice {

// 0, or the system error of the manager or of CreateServiceA (an
// automatically started service of its own process running the command
// line).
DWORD InstallNamedService(const char* commandLine, const char* name, const char* displayName);
// True when removed, marked for removal or not installed.
bool UninstallNamedService(const char* name);
// True when started or already running.
bool StartNamedService(const char* name);
// True when stopped, not running or not installed.
bool StopNamedService(const char* name);

// The command line the manager holds for the service, in *commandLine;
// ERROR_SUCCESS, ERROR_SERVICE_DOES_NOT_EXIST or another system error.
DWORD QueryServiceCommandLine(const char* name, std::string* commandLine);
// The service's current state (1 stopped ... 7 paused) in *state; 0 or
// the system error of the step that failed.
DWORD QueryServiceState(const char* name, DWORD* state);

}  // namespace zeqservice
