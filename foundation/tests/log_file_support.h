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
#include "log_capture.h"

namespace logfiletest {

// A fresh folder under the temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%szeqlogfile.%lu.%d", temp, GetCurrentProcessId(), ++serial);
    path_ = name;
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() { Remove(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  static void Remove(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(full);
        } else {
          DeleteFileA(full.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
  }
  std::string path_;
};

// The whole file, read through a handle of its own.
inline std::string ReadFileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  const std::string text = logtest::ReadAll(file);
  CloseHandle(file);
  return text;
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
}

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
