#include "product_process.h"

#include <cstdlib>

#include "kesto/startup.h"
#include "package/signature.h"

namespace product_test {

namespace {

std::string ProductPath() {
  char own[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string folder(own);
  folder = folder.substr(0, folder.find_last_of('\\'));
  return folder + "\\" + ZEQ_PRODUCT_EXE;
}

}  // namespace

ProductFolder::ProductFolder(bool keepSignature) {
  const std::string copy = folder_ / "KESTO.exe";
  // The build may sign the default application into the product: the copy
  // drops it, so the run starts on the loader beside it.
  CopyFileA(ProductPath().c_str(), copy.c_str(), FALSE);
  if (!keepSignature) KESTODropSignature(copy.c_str(), nullptr);
  // No box waits for a click in a test.
  SetEnvironmentVariableA(kUnattendedVariable, "1");
}

ProductFolder::~ProductFolder() {
  Kill();
}

void ProductFolder::WriteLoader(const std::string& name, const std::string& script, bool withDefinitions) const {
  Write(name, "<html><head><title>loader</title></head><body><script>\n" + script + "\n</script></body></html>");
  if (!withDefinitions) return;
  const std::string base = name.substr(0, name.find_last_of('.'));
  Write(base + ".def", "application\n\tname:Teste\n\tversion:1.2.3 pt-BR Beta\n\tid:17\n");
}

bool ProductFolder::Start(const std::string& arguments) {
  Kill();
  std::string line = "\"" + (folder_ / "KESTO.exe") + "\" log(run.log) " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.path().c_str(), &startup,
                      &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  processId_ = info.dwProcessId;
  return true;
}

long ProductFolder::Wait(DWORD timeoutMs) {
  if (!process_) return -2;
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
    Kill();
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  return static_cast<long>(code);
}

bool ProductFolder::Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

void ProductFolder::Kill() {
  if (!process_) return;
  TerminateProcess(process_, 0xDEAD);
  WaitForSingleObject(process_, 5000);
  CloseHandle(process_);
  process_ = nullptr;
}

std::string ProductFolder::Log() const {
  // The running product keeps the file open for writing.
  HANDLE file = CreateFileA((folder_ / "run.log").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<no log>";
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
  CloseHandle(file);
  return text;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start >= timeoutMs) return pred();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string LastLine(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string::npos) lines.pop_back();
  return lines.empty() ? std::string() : lines.back();
}

}  // namespace product_test
