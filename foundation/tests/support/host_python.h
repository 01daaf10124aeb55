// Test support: runs a python3 script on the host (the test runs under Wine,
// which starts host programs but gives no process handle for them), for
// tests that check file formats against python's own readers and writers.
// The script gets a scratch folder's host path as its first argument and
// signals its end with the file "done" there; every wait is bounded.
#pragma once
#include <windows.h>

#include <string>

#include "file_test_support.h"
#include "loopback_http.h"

namespace pytest {

class HostPython {
 public:
  const filetest::ScratchFolder& folder() const { return folder_; }
  const std::string& problem() const { return problem_; }

  // Runs the script body (its argv[1] is the folder's host path) and waits
  // up to timeoutMs for it to end; false with problem() when it did not run
  // or did not finish.
  bool Run(const std::string& body, DWORD timeoutMs = 20000) {
    const std::string python = "Z:\\usr\\bin\\python3";
    const std::string hostFolder = httptest::HostPath(folder_.path());
    const std::string done = folder_ / "done";
    DeleteFileA(done.c_str());
    if (hostFolder.empty()) return Fail("not running under Wine");
    if (GetFileAttributesA(python.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail("no python3 on the host");
    const std::string script = folder_.Write("script.py.txt", body +
        "\nimport os, sys\nopen(os.path.join(sys.argv[1], 'done'), 'w').close()\n");
    std::string command = python + " " + httptest::HostPath(script) + " " + hostFolder;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return Fail("python3 did not start");
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
      if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    return Fail("the script did not finish in time (or raised an error)");
  }

 private:
  bool Fail(const std::string& why) {
    problem_ = why;
    return false;
  }

  filetest::ScratchFolder folder_;
  std::string problem_;
};

}  // namespace pytest
