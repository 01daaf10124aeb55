// Temporary folders and small helpers for the package tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "package/package.h"

inline std::string PackageTestFolder(const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "zeqpkg_" + name + "_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size;
  GetFileSizeEx(file, &size);
  bytes.resize(size_t(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty()) ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes;
}

inline void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

struct WalkedEntry {
  char type;
  std::string path;
  std::vector<uint8_t> data;
  bool operator==(const WalkedEntry& o) const { return type == o.type && path == o.path && data == o.data; }
};

// Walks a content stream; the result code of the walk goes to *error.
inline std::vector<WalkedEntry> WalkEntries(const uint8_t* stream, size_t length, bool tagged, int* error) {
  std::vector<WalkedEntry> entries;
  size_t offset = 0;
  bool more = true;
  *error = 0;
  while (more) {
    PackageEntryView view;
    *error = PackageReadEntry(stream, length, &offset, tagged, &view, &more);
    if (*error || !more) break;
    entries.push_back({view.type, std::string(view.path, view.pathLength),
                       std::vector<uint8_t>(view.data, view.data + view.dataLength)});
  }
  return entries;
}
