#include "package/package_root.h"

#include <cstring>

#include "foundation/text.h"
#include "package/paths.h"

namespace {

char g_virtualRoot[MAX_PATH + 1];
char g_packageRoot[MAX_PATH + 1];

}  // namespace

char* VirtualRootBuffer() { return g_virtualRoot; }

void SetPackageRoot(const char* prefix) { StrCopyN(g_packageRoot, prefix ? prefix : "", MAX_PATH); }

const char* GetPackageRoot() { return g_packageRoot; }

const char* GetPackageRelativePath(const char* path) {
  const size_t length = strlen(g_packageRoot);
  if (!length || !path) return nullptr;
  const char* inner = SkipVirtualPrefix(path);
  if (_strnicmp(inner, g_packageRoot, length) != 0) return nullptr;
  return inner + length;
}
