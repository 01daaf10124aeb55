// Test support for the loader tests: a scratch folder removed with what it
// holds, and writing files into it.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

namespace loadertest {

inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
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

class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static LONG counter = 0;
    char name[64];
    std::snprintf(name, sizeof name, "zeqloader-%lu-%ld", GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
    path_ = std::string(temp) + name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  // Writes the bytes to name (folders made as needed) and gives the path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = *this / name;
    for (size_t at = path_.size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at) {
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
      CloseHandle(file);
    }
    return path;
  }

 private:
  std::string path_;
};

// The path with forward slashes, as the pre-processor writes import paths.
inline std::string Slashed(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace loadertest
