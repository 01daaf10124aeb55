// Definitions files: reading through the virtual file system, the files that
// directives name, the per-process cache of lists read with the cache flag,
// and the guard against import cycles.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/package_log.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "ascii_text.h"
#include "open_files.h"
#include "text_builder.h"

char* ResolveImportedPath(char* path, const char* importer) {
  ExpandLoaderRelativePath(&path, strlen(path) + 1, nullptr);
  if (IsUnresolvedRelativePath(path)) {
    char parent[513] = "";
    if (GetParentPath(importer, parent, sizeof parent)) {
      char* joined = HeapPrintf(0, "%s%s", parent, path);
      HeapFreeZ(path);
      path = joined;
    }
  }
  TrimBlanks(path);
  return path;
}

namespace {

// Lists read with the cache flag, keyed by normalised path (case ignored);
// they are never freed.
ZEQList* DefinitionsCache() {
  static ZEQList* cache = new ZEQList;
  return cache;
}

DefinitionsList* FindCached(const char* normalized) {
  ZEQList* cache = DefinitionsCache();
  ZEQLockGuard guard(cache->lock);
  const int at = cache->FindSortedByName(normalized, ZEQLIST_NOCASE, 0);
  return at < 0 ? nullptr : reinterpret_cast<DefinitionsList*>(cache->GetItemAt(at)->value1);
}

void InsertCached(const char* normalized, DefinitionsList* list) {
  DefinitionsCache()->SetByName(normalized, reinterpret_cast<uintptr_t>(list), 0, ZEQLIST_NOCASE,
                                ZEQLIST_TEXT_KEY);
}

struct DefinitionsFiles;
using DefinitionsFileScope = OpenFileScope<DefinitionsFiles>;

DefinitionsTemplateReader templateReader = nullptr;

// The directives' files, relative to the file being read.
class FileSource : public DefinitionsSource {
 public:
  FileSource(uintptr_t context, const char* path, int cache)
      : context_(context), path_(path), cache_(cache) {
    char name[kZEQPathBufferSize + 1] = "";
    if (GetPathFileName(path, name)) {
      if (char* dot = strrchr(name, '.')) *dot = '\0';
      fileName_ = StrDupExtra(name, 0);
    }
    char parent[kZEQPathBufferSize + 1] = "";
    if (GetParentPath(path, parent, sizeof parent)) {
      const size_t n = strlen(parent);
      if (n && (parent[n - 1] == '\\' || parent[n - 1] == '/')) parent[n - 1] = '\0';
      const char* last = parent;
      for (const char* c = parent; *c; ++c)
        if (*c == '\\' || *c == '/') last = c + 1;
      parentName_ = StrDupExtra(last, 0);
    }
    names_ = {fileName_, parentName_};
  }
  ~FileSource() override {
    HeapFreeZ(fileName_);
    HeapFreeZ(parentName_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  const DefinitionsSourceNames* Names() override { return &names_; }

  bool Import(const char* argument, DefinitionsList* target) override {
    HeapText path(Resolve(argument));
    if (HasExtension(path.text, "hdc")) return templateReader && templateReader(context_, path.text);
    return ParseDefinitionsFile(context_, path.text, 0, target, cache_) != nullptr;
  }

  void Language(const char* argument) override {
    HeapText path(Resolve(argument));
    SetGlobalDictionary(ParseDefinitionsFile(0, path.text, 0, GetGlobalDictionary(), cache_));
  }

 private:
  // Environment strings and loader-relative forms expanded; a path still
  // relative is taken from the folder of the file being read.
  char* Resolve(const char* argument) { return ResolveImportedPath(StrDupExtra(argument, 0), path_); }

  uintptr_t context_;
  const char* path_;
  int cache_;
  char* fileName_ = nullptr;
  char* parentName_ = nullptr;
  DefinitionsSourceNames names_ = {nullptr, nullptr};
};

}  // namespace

DefinitionsList* ParseDefinitionsFile(uintptr_t context, const char* path, uint32_t reserved,
                                      DefinitionsList* target, int cache) {
  (void)reserved;
  if (IsEmptyString(path)) return nullptr;
  HeapText normalized(SmartNormalizePath(path));
  if (!normalized.text) return nullptr;
  if (cache) {
    if (DefinitionsList* cached = FindCached(normalized.text)) return cached;
  }
  if (DefinitionsFileScope::IsBeingRead(normalized.text)) {
    // The file's entries are already on their way into the list.
    PackageLogPrintf("ParseDefinitionsFile: Import cycle skipped: \"%s\"", path);
    return target;
  }
  if (DefinitionsFileScope::Depth() >= kDefinitionsImportDepth) {
    PackageLogPrintf("ParseDefinitionsFile: [FAILED] - Imports nested too deep: \"%s\"", path);
    return nullptr;
  }
  void* block = nullptr;
  DWORD size = 0;
  if (!ReadWholeFileExt(path, &block, &size) || !block) return nullptr;
  char* data = static_cast<char*>(block);
  DefinitionsList* list;
  {
    DefinitionsFileScope scope(normalized.text);
    FileSource source(context, path, cache);
    list = ParseDefinitionsText(data, size, target, &source, cache != 0);
  }
  HeapFreeZ(data);
  if (list && cache) InsertCached(normalized.text, list);
  return list;
}

void SetDefinitionsTemplateReader(DefinitionsTemplateReader reader) { templateReader = reader; }
