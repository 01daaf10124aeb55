// Loading the core script into its process-wide buffer.
#include "host/core_script.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/lock.h"
#include "foundation/log.h"
#include "host/loader_page.h"
#include "package/application_settings.h"
#include "package/core_script_directives.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/package_root.h"
#include "package/paths.h"

namespace {

constexpr char kResourceName[] = "IDR_KESTOJSCORE";
constexpr char kResourceType[] = "KESTOJSCORE";
constexpr char kResourceContentName[] = "Core.js";
constexpr char kPrefixFormat[] =
    "@cc_on;@set @kestotype=%d;@set @kestolang=%d;@set @kestowin32pe=0;@set @kestowin32activex=1;"
    "@set @kestowin32npapi=2;@set @kestomode=%d;@set @kestorelease=0;@set @kestodebug=1;@set @kestosigned=%s;";

struct CoreScript {
  ZEQLock lock;
  char* text = nullptr;
  size_t length = 0;
};

CoreScript& Core() {
  static CoreScript core;
  return core;
}

// The folder part of a path ("" without one).
std::string FolderOf(const char* path) {
  const char* slash = path ? strrchr(path, '\\') : nullptr;
  return slash ? std::string(path, slash) : std::string();
}

std::string ExecutableFolder() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return FolderOf(path);
}

// A path that is none of the known forms is taken inside the mounted
// package, else beside the executable (a path with one leading backslash)
// or the loader.
std::string ExpandedPath(const char* path) {
  if (!IsUnresolvedRelativePath(path)) return path;
  const char* root = VirtualRootBuffer();
  const bool mounted = root && *root;
  if (path[0] == '\\' && path[1] != '\\') return (mounted ? std::string(root) : ExecutableFolder()) + path;
  std::string base = mounted ? std::string(root) : FolderOf(GetApplicationSettings()->loader);
  if (base.empty()) base = ExecutableFolder();
  return base + "\\" + path;
}

bool ReadFromFile(const char* path, char** text, size_t* length) {
  const std::string expanded = ExpandedPath(path);
  return ZEQPreprocessContent(expanded.c_str(), text, length, kPreprocessNested) != 0;
}

bool ReadFromResource(char** text, size_t* length) {
  HRSRC found = FindResourceA(nullptr, kResourceName, kResourceType);
  if (!found) return false;
  const DWORD size = SizeofResource(nullptr, found);
  HGLOBAL loaded = size ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  char* copy = static_cast<char*>(HeapAllocZ(size + 3));
  std::memcpy(copy, bytes, size);
  *text = copy;
  *length = strlen(copy);
  return ZEQPreprocessContent(kResourceContentName, text, length, kPreprocessCoreScript) != 0;
}

// The prefix text: the host's variables, the definitions' directives and
// variables, each group closed by its own line end.
std::string Prefix() {
  DefinitionsList* definitions = GetStartupDefinitions();
  char* setLines = nullptr;
  char* varLines = nullptr;
  PreprocessSetDirectives(definitions, &setLines);
  PreprocessVarDirectives(definitions, &varLines);
  char head[512];
  std::snprintf(head, sizeof head, kPrefixFormat, 0, GetApplicationLanguageCode(), 0, "false");
  ZEQLogPrintf("[KESTO MODE] \"%s\"", head);
  std::string prefix = head;
  if (setLines && *setLines) prefix += std::string(setLines) + ";";
  prefix += "\r\n";
  if (varLines && *varLines) prefix += std::string(varLines) + "\r\n";
  HeapFreeZ(setLines);
  HeapFreeZ(varLines);
  return prefix;
}

}  // namespace

int KESTOLoadCoreScript() {
  CoreScript& core = Core();
  ZEQLockScope scope(core.lock);
  if (core.text && core.length) return 1;
  char* text = nullptr;
  size_t length = 0;
  try {
    const char* file = GetApplicationSettings()->coreScript;
    const bool read = *file ? ReadFromFile(file, &text, &length) : ReadFromResource(&text, &length);
    if (!read || !text) {
      HeapFreeZ(text);
      return 0;
    }
    if (length) {
      const std::string prefix = Prefix();
      char* whole = static_cast<char*>(HeapAllocZ(prefix.size() + length + 1));
      std::memcpy(whole, prefix.data(), prefix.size());
      std::memcpy(whole + prefix.size(), text, length);
      HeapFreeZ(text);
      text = whole;
      length += prefix.size();
    }
  } catch (...) {
    HeapFreeZ(text);
    ZEQLogUnexpected("KESTOLoadCoreScript");
    return 0;
  }
  HeapFreeZ(core.text);
  core.text = text;
  core.length = length;
  return 1;
}

char* KESTOCopyCoreScript(size_t* length) {
  CoreScript& core = Core();
  ZEQLockScope scope(core.lock);
  if (length) *length = 0;
  if (!core.text) return nullptr;
  char* copy = static_cast<char*>(HeapAllocZ(core.length + 1));
  std::memcpy(copy, core.text, core.length);
  if (length) *length = core.length;
  return copy;
}

void KESTOApplyApplicationMacros(const char* applicationName, const char* versionText) {
  CoreScript& core = Core();
  ZEQLockScope scope(core.lock);
  SetApplicationMacros(applicationName, versionText, &core.text, &core.length);
}

void KESTOFreeCoreScript() {
  CoreScript& core = Core();
  ZEQLockScope scope(core.lock);
  HeapFreeZ(core.text);
  core.text = nullptr;
  core.length = 0;
}
