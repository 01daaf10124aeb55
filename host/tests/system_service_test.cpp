// ZEQSystemService driven from page script with the repository's test
// service (host_test_service.exe, copied under a name with a blank): it is
// installed, started, asked through its pipe, queried, stopped and removed
// under the platform's service manager, with each step read back through
// the manager's own API. A service of the same name that runs another
// program is never removed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "host/system_service.h"
#include "script_cases.h"

using namespace host_test;

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

// The manager's view of a service: its command line, or the error of the
// look-up.
DWORD InstalledCommandLine(const std::string& name, std::string* line) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return GetLastError();
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG);
  DWORD error = service ? ERROR_SUCCESS : GetLastError();
  if (service) {
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (QueryServiceConfigA(service, config, needed, &needed)) line->assign(config->lpBinaryPathName);
    else error = GetLastError();
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return error;
}

void RemoveService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return;
  if (SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_STOP | DELETE)) {
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

class SystemService : public ScriptCaseTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Ready());
    ASSERT_TRUE(host_.PublishClass(kZEQSystemServiceClass, ZEQSystemServiceGetIDsOfNames, ZEQSystemServiceInvoke));
    const std::string suffix = std::to_string(GetCurrentProcessId());
    program_ = folder_ / ("ZEQ Test Service" + suffix + ".exe");
    name_ = "ZEQ_Test_Service" + suffix;
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\host_test_service.exe").c_str(), program_.c_str(), FALSE));
    RemoveService(name_);
    Run(L"var s = new ZEQSystemService(" + Literal(program_) + L", 0);");
  }
  void TearDown() override {
    RemoveService(name_);
    // The stopped service's process lets go of its program before the
    // scratch folder is removed.
    for (int i = 0; i < 50 && !DeleteFileA(program_.c_str()); ++i) Sleep(100);
  }

  // The state script reads, asked until it is the expected one (a service
  // passes through its pending states) or ten seconds have passed.
  std::string StateBecomes(const std::string& expected) {
    std::string state;
    for (int i = 0; i < 100; ++i) {
      state = Eval(L"(q = s.QueryInfo(), q.Success + ',' + q.State)");
      if (state == "true," + expected) break;
      Sleep(100);
    }
    return state;
  }

  filetest::ScratchFolder folder_;
  std::string program_;
  std::string name_;
};

TEST_F(SystemService, AServiceIsInstalledStartedAskedStoppedAndRemoved) {
  EXPECT_EQ("true", Eval(L"s.Success"));
  EXPECT_EQ("104", Eval(L"s.Invoke('hello', 'world').ErrorCode"));
  EXPECT_EQ("0", Eval(L"s.Install().ErrorCode"));
  std::string line;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), InstalledCommandLine(name_, &line));
  EXPECT_EQ("\"" + program_ + "\"", line);
  EXPECT_EQ("true,Stopped", StateBecomes("Stopped"));

  EXPECT_EQ("true", Eval(L"s.Start().Success"));
  EXPECT_EQ("true,Running", StateBecomes("Running"));
  EXPECT_EQ("true", Eval(L"s.Start().Success")) << "a running service counts as started";
  const struct {
    const char* name;
    const wchar_t* expression;
    const char* expected;
  } replies[] = {
      {"answer with data", L"(r = s.Invoke('hello', 'world'), r.ErrorCode + ',' + r.Data)", "0,echo:hello, world"},
      {"failure with its system error",
       L"(f = s.Invoke('fail', 'x', 1), f.Success + ',' + f.ErrorCode + ',' + f.SystemErrorCode + ',' + typeof f.Data)",
       "false,5,32,undefined"},
      // Windows reports the far end's close as a broken pipe (109), the
      // emulator as a pipe no longer connected (233): either is the close.
      {"a pipe closed unanswered is no success",
       L"(h = s.Invoke('hangup', 'x'), h.Success + ',' + h.ErrorCode + ',' +"
       L" (h.SystemErrorCode == 109 || h.SystemErrorCode == 233))",
       "false,2,true"},
  };
  for (const auto& reply : replies) EXPECT_EQ(std::string(reply.expected), Eval(reply.expression)) << reply.name;

  EXPECT_EQ("true", Eval(L"s.Stop().Success"));
  EXPECT_EQ("true,Stopped", StateBecomes("Stopped"));
  EXPECT_EQ("true", Eval(L"s.Uninstall().Success"));
  const DWORD gone = InstalledCommandLine(name_, &line);
  EXPECT_TRUE(gone == ERROR_SERVICE_DOES_NOT_EXIST || gone == ERROR_SERVICE_MARKED_FOR_DELETE) << gone;
  EXPECT_EQ("true", Eval(L"s.Stop().Success")) << "stopping a service that is not installed succeeds";
}

TEST_F(SystemService, InstallingAgainReplacesTheServiceOfTheSameProgram) {
  ASSERT_EQ("0", Eval(L"s.Install().ErrorCode"));
  EXPECT_EQ("0", Eval(L"s.Install().ErrorCode"));
  std::string line;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), InstalledCommandLine(name_, &line));
  EXPECT_EQ("\"" + program_ + "\"", line);
}

TEST_F(SystemService, AServiceOfAnotherProgramUnderTheSameNameIsLeftAlone) {
  const std::string other = "\"C:\\other\\program.exe\"";
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  ASSERT_NE(nullptr, manager);
  SC_HANDLE service = CreateServiceA(manager, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                     other.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, service);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);

  EXPECT_EQ("false,1073", Eval(L"(i = s.Install(), i.Success + ',' + i.ErrorCode)"));
  EXPECT_EQ("false", Eval(L"s.Uninstall().Success"));
  std::string line;
  ASSERT_EQ(DWORD(ERROR_SUCCESS), InstalledCommandLine(name_, &line));
  EXPECT_EQ(other, line);
}

TEST_F(SystemService, MisusedCallsAreRefusedWithTheirErrors) {
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_.ErrorOf(L"new ZEQSystemService('a.exe')"));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_.ErrorOf(L"s.Invoke('a')"));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, host_.ErrorOf(L"s.Install(1)"));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, host_.ErrorOf(L"s.Install + ''"));
}

}  // namespace
