// The build-time package writer and signer.
//   packager pack <folder> <package> [password]
//     writes every folder and file under <folder> into a new enciphered,
//     compressed, tagged package (empty password: the built-in key);
//   packager sign <executable> <package> [x.x.x.x] [loader path]
//     signs the package into the executable's signature resource.
// Paths may use forward slashes (the build passes them as Z:/...).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "package/package.h"
#include "package/signature.h"

namespace {

std::string Backslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

bool AddFolder(ZEQPackageDATA* package, const std::string& folder, const std::string& relative) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = ZEQPackageAddData(package, path.c_str(), "0", nullptr, 0) && AddFolder(package, folder + "\\" + name, path);
    } else {
      ok = ZEQPackageAddFile(package, path.c_str(), (folder + "\\" + name).c_str());
    }
    if (!ok) std::fprintf(stderr, "packager: cannot add %s\n", path.c_str());
  } while (ok && FindNextFileA(find, &found));
  FindClose(find);
  return ok;
}

int Pack(const std::string& folder, const std::string& output, const char* password) {
  DeleteFileA(output.c_str());
  ZEQPackageDATA* package = ZEQPackageCreate(0xE, output.c_str(), ZEQPKG_TYPE_MULTIPLE, password);
  if (!package) return 1;
  const bool ok = AddFolder(package, folder, "") && ZEQPackageClose(package, INVALID_HANDLE_VALUE, 0);
  ZEQPackageRelease(package);
  return ok ? 0 : 1;
}

int Sign(const std::string& executable, const std::string& package, const char* version, const char* loader) {
  KESTOSignatureDescriptor* descriptor = KESTOSignatureDescriptorCreate();
  lstrcpynA(descriptor->data.versionData.version, version, sizeof(descriptor->data.versionData.version));
  lstrcpynA(descriptor->data.loaderPath, loader, sizeof(descriptor->data.loaderPath));
  descriptor->flags = kSignatureFlagEnciphered;
  const bool ok = KESTOSign(executable.c_str(), nullptr, descriptor, package.c_str(), 0, 0);
  KESTOSignatureDescriptorFree(descriptor);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "pack") == 0)
    return Pack(Backslashes(argv[2]), Backslashes(argv[3]), argc > 4 ? argv[4] : "");
  if (argc >= 4 && std::strcmp(argv[1], "sign") == 0)
    return Sign(Backslashes(argv[2]), Backslashes(argv[3]), argc > 4 ? argv[4] : "", argc > 5 ? argv[5] : "");
  std::fprintf(stderr, "usage: packager pack <folder> <package> [password] | sign <exe> <package> [version] [loader]\n");
  return 2;
}
