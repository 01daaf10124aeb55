// Mounting the application package and releasing it at shutdown.
#include "package/application_package.h"

#include <cstring>
#include <string>

#include "foundation/instance_name.h"
#include "package/application_settings.h"
#include "package/content_source.h"
#include "package/package_extract.h"
#include "package/package_log.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

constexpr DWORD kLoaderProbeBytes = 624;

bool SubFolderValid(const char* subFolder) {
  if (!subFolder || std::strlen(subFolder) <= 1) return true;
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  return separator(subFolder[0]) && !separator(subFolder[1]);
}

}  // namespace

bool MountApplicationPackage(ZEQPackageDATA* package, const char* subFolder, unsigned flags) {
  bool ok = true;
  if (package) {
    if (HasApplicationKey() && !(package->header.Flags & ZEQPKG_ENCRYPT)) {
      PackageLogPrintf("MountApplicationPackage: [FAILED] \"%s\" - Package is not enciphered", package->path);
      return false;
    }
    if (!SubFolderValid(subFolder)) {
      PackageLogPrintf("MountApplicationPackage: [FAILED] \"%s\" - Invalid folder \"%s\"", package->path, subFolder);
      return false;
    }
    if (!(flags & kMountKeepExisting)) {
      VFSClearMounts();
      ZEQPackageDATA* current = ZEQGetApplicationPackage();
      if (current && current != package) ZEQPackageRelease(current);
      ZEQSetApplicationPackage(package);
    } else if (!ZEQGetApplicationPackage()) {
      ZEQSetApplicationPackage(package);
    }
    std::string target = VirtualRootBuffer();
    if (subFolder && std::strlen(subFolder) > 1) target += subFolder;
    const int code = ZEQPackageExtract(package, nullptr, VFSMountList(), target.c_str(), "*", "", "",
                                       ZEQPKG_EXTRACT_EXECUTE | ZEQPKG_EXTRACT_TRUSTED);
    ok = code == 0;
    if (!ok) PackageLogPrintf("MountApplicationPackage: [FAILED] \"%s\" - Extract error %d", package->path, code);
    std::string custom(package->custom, strnlen(package->custom, kPackageTextField));
    ZEQSetInstanceName(custom.c_str());
  }
  ZEQPackageDATA* current = ZEQGetApplicationPackage();
  const ApplicationSettings* settings = GetApplicationSettings();
  if (current && !(settings && settings->enableRawAccess)) ZEQPackageClose(current, nullptr, 0);
  return ok;
}

bool IsLoaderPackageFile(const char* loaderPath) {
  if (!loaderPath || !*loaderPath) return true;
  if (GetPackageRelativePath(loaderPath)) return true;
  if (!PathFileExistsExt(loaderPath)) return false;
  HANDLE file = CreateFileExt(loaderPath, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[kLoaderProbeBytes] = {};
  DWORD got = 0;
  const bool read = ReadFileExt(file, kLoaderProbeBytes, head, &got);
  CloseHandleExt(&file);
  return read && IsAllowedContentSource(loaderPath, head, got);
}

bool ReleaseApplicationPackage() {
  ZEQPackageDATA* package = ZEQGetApplicationPackage();
  if (package) {
    ZEQPackageClose(package, nullptr, 0);
    ZEQSetApplicationPackage(nullptr);
    ZEQPackageRelease(package);
  }
  return true;
}
