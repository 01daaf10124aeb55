// Test support for tests that work on files: a scratch folder removed with its
// contents, small file helpers, and a thread that holds a file open.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

namespace filetest {

inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

// A new empty folder in the temporary folder, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static LONG counter = 0;
    char name[64];
    std::snprintf(name, sizeof name, "zeqfiles-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = std::string(temp) + name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  // Writes the bytes to name (its folders made as needed); the full path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

inline bool WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(file);
  return ok;
}

inline std::string ReadTextFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
  CloseHandle(file);
  return text;
}

inline std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = *this / name;
  for (size_t at = path_.size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  WriteTextFile(path, bytes);
  return path;
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Holds a file open without sharing on a thread of its own for a while, as
// a virus scanner or a second instance would.
class FileHolder {
 public:
  // Opens the file exclusively and keeps it for holdMs; the constructor
  // returns once the file is open (or the open failed).
  FileHolder(const std::string& path, DWORD holdMs) : path_(path), holdMs_(holdMs) {
    opened_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    WaitForSingleObject(opened_, 10000);
  }
  ~FileHolder() { Join(); }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  bool held() const { return held_; }
  // Waits (bounded) until the file was let go.
  bool Join() {
    bool ended = true;
    if (thread_) {
      ended = WaitForSingleObject(thread_, 20000) == WAIT_OBJECT_0;
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    if (opened_) {
      CloseHandle(opened_);
      opened_ = nullptr;
    }
    return ended;
  }

 private:
  static DWORD WINAPI Run(void* arg) {
    auto* self = static_cast<FileHolder*>(arg);
    HANDLE file = CreateFileA(self->path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    self->held_ = file != INVALID_HANDLE_VALUE;
    SetEvent(self->opened_);
    if (self->held_) {
      Sleep(self->holdMs_);
      CloseHandle(file);
    }
    return 0;
  }

  std::string path_;
  DWORD holdMs_;
  HANDLE opened_ = nullptr;
  HANDLE thread_ = nullptr;
  volatile bool held_ = false;
};

}  // namespace filetest
