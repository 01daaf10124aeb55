// A test program that starts as the product does on its signature: it
// checks the signature of its own file, mounts an attached package and
// prints the mounted file named by its argument. Exit codes: 0 printed,
// 2 signature refused, 3 unsigned, 4 mount failed, 5 file not mounted.
#include <windows.h>

#include <cstdio>
#include <string>

#include "foundation/heap.h"
#include "package/application_package.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/signature.h"
#include "package/vfs.h"

int main(int argc, char** argv) {
  GetVirtualRootFolder(VirtualRootBuffer());
  if (!KESTOCheckSignature()) return 2;
  ZEQPackageDATA* package = ZEQGetApplicationPackage();
  if (!package) return 3;
  if (!MountApplicationPackage(package, "", 0)) return 4;
  if (KESTOGetSignatureData()->loaderPath[0]) std::printf("loader=%s\n", KESTOGetSignatureData()->loaderPath);
  if (argc > 1) {
    void* data = nullptr;
    DWORD size = 0;
    if (!ReadWholeFileExt((std::string("zeq:") + VirtualRootBuffer() + argv[1]).c_str(), &data, &size)) return 5;
    std::printf("%.*s\n", int(size), static_cast<char*>(data));
    HeapFreeZ(data);
  }
  ReleaseApplicationPackage();
  return 0;
}
