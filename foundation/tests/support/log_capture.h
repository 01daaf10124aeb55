// Test support: a log writing into a temporary file on a clock the test
// moves, and readers of what reached the file.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/log.h"

namespace logtest {

// A clock in milliseconds that only moves when told; the tick counter
// follows it, so every reading counts as a lap.
inline int64_t& FakeMilliseconds() {
  static int64_t now = 1000000;
  return now;
}
inline const ZEQProfilerClock* FakeClock() {
  static const ZEQProfilerClock clock = {
      [] { return FakeMilliseconds(); },
      [] { return int64_t(1000); },
      [] { return uint32_t(FakeMilliseconds()); },
  };
  return &clock;
}
inline void Advance(int64_t ms) { FakeMilliseconds() += ms; }

// A temporary file deleted when closed.
inline HANDLE OpenTempFile() {
  char folder[MAX_PATH];
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "zlg", 0, path);
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

inline std::string ReadAll(HANDLE file) {
  std::string text;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
  return text;
}

// Splits at CR LF; the empty piece after the last CR LF is dropped.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
    lines.push_back(text.substr(from, at - from));
  }
  if (from < text.size()) lines.push_back(text.substr(from));
  return lines;
}

// The text of a prefixed line (after the prefix of the default flags).
inline std::string AfterPrefix(const std::string& line) {
  return line.size() >= kZEQLogPrefixWidth ? line.substr(kZEQLogPrefixWidth) : std::string("<short:") + line + ">";
}

inline std::string Hex8(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

// The prefix of the default flags, with the time of day shown as hh:mm:ss.
inline std::string Prefix(const std::string& marker, DWORD thread, double lap, double elapsed) {
  char text[128];
  std::snprintf(text, sizeof text, "%-7s%s hh:mm:ss %010.03f %010.03f - ", marker.c_str(), Hex8(thread).c_str(), lap,
                elapsed);
  return text;
}

// A line whose time-of-day field (columns 16 to 23) is a time gets it
// replaced by hh:mm:ss, so that lines can be compared whole.
inline std::string MaskTime(std::string line) {
  if (line.size() < 24) return line;
  const std::string field = line.substr(16, 8);
  for (size_t i = 0; i < 8; ++i) {
    const bool digit = field[i] >= '0' && field[i] <= '9';
    if ((i == 2 || i == 5) ? field[i] != ':' : !digit) return line;
  }
  return line.replace(16, 8, "hh:mm:ss");
}

// A log of its own, on the fake clock, writing to a temporary file.
class CapturedLog {
 public:
  CapturedLog() {
    log_.Init(FakeClock());
    file_ = OpenTempFile();
    log_.SetFile(file_);
  }
  ~CapturedLog() {
    log_.SetFile(nullptr);
    CloseHandle(file_);
    log_.Free();
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  ZEQLog* log() { return &log_; }
  std::string Contents() { return ReadAll(file_); }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines = SplitLines(Contents());
    for (auto& line : lines) line = MaskTime(line);
    return lines;
  }
  void Clear() {
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
  }

 private:
  ZEQLog log_;
  HANDLE file_;
};

// Points the global log at a temporary file for the life of the object.
class CapturedGlobalLog {
 public:
  CapturedGlobalLog() : file_(OpenTempFile()) { previous_ = ZEQGlobalLog()->SetFile(file_); }
  ~CapturedGlobalLog() {
    ZEQGlobalLog()->SetFile(previous_);
    CloseHandle(file_);
  }
  CapturedGlobalLog(const CapturedGlobalLog&) = delete;
  CapturedGlobalLog& operator=(const CapturedGlobalLog&) = delete;

  std::string Contents() { return ReadAll(file_); }
  void Clear() {
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
  }
  // The texts of the prefixed lines.
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const auto& line : SplitLines(Contents())) texts.push_back(AfterPrefix(line));
    return texts;
  }

 private:
  HANDLE file_;
  HANDLE previous_;
};

}  // namespace logtest
