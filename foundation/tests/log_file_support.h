// Test support for the log file: a folder of its own per test, a log made
// in it, and readers of the file that leave the log's handle alone.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "file_test_support.h"
#include "log_capture.h"

namespace logfiletest {

using TempFolder = filetest::ScratchFolder;

// The whole file, read through a handle of its own.
inline std::string ReadFileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  const std::string text = logtest::ReadAll(file);
  CloseHandle(file);
  return text;
}

inline void WriteFileText(const std::string& path, const std::string& text) { filetest::WriteTextFile(path, text); }

// A log object of the test's own (system clock), freed at the end; its
// file, if still open, is closed without the closing entry.
class OwnLog {
 public:
  OwnLog() { log_.Init(); }
  ~OwnLog() {
    HANDLE file = log_.SetFile(nullptr);
    if (file && file != INVALID_HANDLE_VALUE) CloseHandle(file);
    log_.Free();
  }
  OwnLog(const OwnLog&) = delete;
  OwnLog& operator=(const OwnLog&) = delete;
  ZEQLog* operator->() { return &log_; }
  ZEQLog* get() { return &log_; }
  // Leaves the file as a crashed run would: open, with no closing entry.
  void Abandon() {
    HANDLE file = log_.SetFile(nullptr);
    CloseHandle(file);
  }
  void Write(const char* text) { ZEQLogWrite(text, &log_, 0, nullptr); }

 private:
  ZEQLog log_;
};

// The process-wide settings the log file reads, restored at the end.
class SettingsScope {
 public:
  SettingsScope() : limit_(ZEQGetLogSizeLimit()), banner_(ZEQGetApplicationBanner()) {}
  ~SettingsScope() {
    ZEQSetLogSizeLimit(limit_);
    ZEQSetApplicationBanner(banner_.c_str());
  }
  SettingsScope(const SettingsScope&) = delete;
  SettingsScope& operator=(const SettingsScope&) = delete;

 private:
  uint32_t limit_;
  std::string banner_;
};

}  // namespace logfiletest
