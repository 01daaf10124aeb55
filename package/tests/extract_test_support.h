// Packages made for extraction tests and the scratch folders they extract
// into, compared file by file.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "package/package.h"
#include "package_test_support.h"

namespace extract_test {

struct Entry {
  std::string path;
  char type;
  std::string data;
};

inline std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Makes a package file of the entries and gives its path.
inline std::string MakePackage(const std::string& path, uint32_t flags, const std::vector<Entry>& entries,
                        const char* password = "pw", uint32_t type = ZEQPKG_TYPE_MULTIPLE) {
  ZEQPackageDATA* made = ZEQPackageCreate(flags, path.c_str(), type, password);
  EXPECT_NE(made, nullptr);
  for (const Entry& e : entries) {
    if (type == ZEQPKG_TYPE_SINGLE) {
      EXPECT_TRUE(ZEQPackageWriteFile(made, uint32_t(e.data.size()), e.data.data()));
      continue;
    }
    const char kind[2] = {e.type, 0};
    EXPECT_TRUE(ZEQPackageAddData(made, e.path.c_str(), kind, e.data.data(), uint32_t(e.data.size()))) << e.path;
  }
  EXPECT_TRUE(ZEQPackageClose(made, INVALID_HANDLE_VALUE, 0));
  ZEQPackageRelease(made);
  return path;
}

inline std::string PackageImage(const std::string& path, uint32_t flags, const std::vector<Entry>& entries,
                         const char* password) {
  return Bytes(ReadWholeFile(MakePackage(path, flags, entries, password)));
}

// Every file under the folder: relative path -> content.
inline void ListFiles(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(folder + "\\" + name, prefix + "\\" + name, out);
    else
      (*out)[prefix + "\\" + name] = Bytes(ReadWholeFile(folder + "\\" + name));
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

// A fresh scratch folder with a package folder and an output folder.
struct Scratch {
  std::string root, packages, out;
  explicit Scratch(const char* name) {
    root = PackageTestFolder(name);
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
    packages = root + "\\pkg";
    out = root + "\\out";
    CreateDirectoryA(packages.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
  }
  ~Scratch() { RemoveTree(root); }
};

}  // namespace extract_test
