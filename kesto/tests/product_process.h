// The product started as a process by the tests: a copy of the executable
// in a scratch folder of its own (its loader, definitions and log beside
// it), started with a command line, waited for with a hard time-out and
// ended by its own handle when it overstays.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "file_test_support.h"

namespace product_test {

// Every wait of these tests is bounded by this much.
constexpr DWORD kProcessTimeoutMs = 30000;

class ProductFolder {
 public:
  // The copy of the product drops the application package the build signs
  // into it, unless keepSignature asks to run that package.
  explicit ProductFolder(bool keepSignature = false);
  ~ProductFolder();
  ProductFolder(const ProductFolder&) = delete;
  ProductFolder& operator=(const ProductFolder&) = delete;

  const std::string& path() const { return folder_.path(); }
  std::string Write(const std::string& name, const std::string& text) const { return folder_.Write(name, text); }
  // A loader page whose script is the given text, with its definitions
  // file (application name "Teste", id 17) unless withDefinitions is false.
  void WriteLoader(const std::string& name, const std::string& script, bool withDefinitions = true) const;

  // Starts the product with the command line (after the program's path);
  // false when it could not be started.
  bool Start(const std::string& arguments);
  // Waits for the end (bounded); the exit code, or -1 after a time-out (the
  // process is then ended by its handle).
  long Wait(DWORD timeoutMs = kProcessTimeoutMs);
  // Starts, waits; the exit code.
  long Run(const std::string& arguments) {
    return Start(arguments) ? Wait() : -2;
  }
  bool Running() const;
  void Kill();
  HANDLE process() const { return process_; }
  DWORD processId() const { return processId_; }
  // The log file ("run.log" beside the executable, as every run is given).
  std::string Log() const;

 private:
  filetest::ScratchFolder folder_;
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
};

// Polls pred every 20 ms, pumping this thread's messages, until it holds or
// the time runs out; pred's last value.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = kProcessTimeoutMs);

// The lines of a text.
std::vector<std::string> Lines(const std::string& text);
// The last non-empty line.
std::string LastLine(const std::string& text);

}  // namespace product_test
