// Template files: reading through the virtual file system, the cache of
// files read successfully, the files that imports name and the guard
// against import cycles.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/list.h"
#include "foundation/lock_guard.h"
#include "foundation/text.h"
#include "package/definitions_list.h"
#include "package/definitions_reader.h"
#include "package/file_trees.h"
#include "package/macros.h"
#include "package/package_log.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/templates.h"
#include "package/vfs.h"
#include "ascii_text.h"
#include "open_files.h"
#include "template_reader.h"
#include "text_builder.h"

namespace {

// Normalised paths of templates read successfully (case ignored), with the
// file's last-write time (local time) in the two value words.
ZEQList* TemplateCache() {
  static ZEQList* cache = new ZEQList;
  return cache;
}

struct TemplateFiles;
using TemplateFileScope = OpenFileScope<TemplateFiles>;

bool LastWriteTime(const char* path, FILETIME* time) {
  *time = FILETIME{};
  return IsMountedFile(path) || GetFileLastWriteTimeExt(path, time);
}

// Imports relative to the template being read; every import is a template.
class TemplateFileSource : public TemplateSource {
 public:
  TemplateFileSource(uintptr_t context, const char* path) : context_(context), path_(path) {}

  bool Import(const char* argument) override {
    char* path = StrDupExtra(argument, 0);
    path = ResolveImportedPath(ProcessMacros(path, nullptr, nullptr, kMacroSystemOnly), path_);
    HeapText held(path);
    return ParseTemplateFile(context_, held.text, nullptr) != 0;
  }

  void Language(const char* argument) override {
    char* path = StrDupExtra(argument, 0);
    ExpandLoaderRelativePath(&path, strlen(path) + 1, nullptr);
    TrimBlanks(path);
    HeapText held(path);
    SetGlobalDictionary(ParseDefinitionsFile(0, held.text, 0, GetGlobalDictionary(), 1));
  }

 private:
  uintptr_t context_;
  const char* path_;
};

int TemplateImportReader(uintptr_t context, const char* path) { return ParseTemplateFile(context, path, nullptr); }

// Definitions files that import a template read it as one.
const bool templateReaderSet = (SetDefinitionsTemplateReader(TemplateImportReader), true);

}  // namespace

bool IsTemplateCached(const char* path) {
  HeapText normalized(SmartNormalizePath(path));
  if (!normalized.text) return false;
  ZEQList* cache = TemplateCache();
  FILETIME recorded{};
  {
    ZEQLockGuard guard(cache->lock);
    const int at = cache->FindSortedByName(normalized.text, ZEQLIST_NOCASE, 0);
    if (at < 0) return false;
    const ZEQListItem* item = cache->GetItemAt(at);
    recorded.dwLowDateTime = DWORD(item->value1);
    recorded.dwHighDateTime = DWORD(item->value2);
  }
  if (IsMountedFile(path)) return true;
  FILETIME now;
  return LastWriteTime(path, &now) && CompareFileTime(&now, &recorded) == 0;
}

void MarkTemplateCached(const char* path) {
  HeapText normalized(SmartNormalizePath(path));
  if (!normalized.text) return;
  FILETIME time;
  LastWriteTime(path, &time);
  TemplateCache()->SetByName(normalized.text, time.dwLowDateTime, time.dwHighDateTime, ZEQLIST_NOCASE, ZEQLIST_TEXT_KEY);
}

int ParseTemplateFile(uintptr_t context, const char* path, char* normalizedOut) {
  if (IsEmptyString(path)) return 0;
  HeapText normalized(SmartNormalizePath(path));
  if (!normalized.text) return 0;
  if (normalizedOut) snprintf(normalizedOut, kSkinPathMax + 1, "%s", normalized.text);
  if (IsTemplateCached(path)) return 1;
  if (TemplateFileScope::IsBeingRead(normalized.text)) {
    PackageLogPrintf("ParseTemplateFile: [FAILED] - Import cycle: \"%s\"", path);
    return 0;
  }
  if (TemplateFileScope::Depth() >= kDefinitionsImportDepth) {
    PackageLogPrintf("ParseTemplateFile: [FAILED] - Imports nested too deep: \"%s\"", path);
    return 0;
  }
  void* block = nullptr;
  DWORD size = 0;
  if (!ReadWholeFileExt(path, &block, &size) || !block) return 0;
  HeapText data(static_cast<char*>(block));
  int result;
  {
    TemplateFileScope scope(normalized.text);
    TemplateFileSource source(context, path);
    result = ReadTemplateText(context, normalized.text, data.text, size, &source);
  }
  if (result) MarkTemplateCached(path);
  return result;
}

int ParseTemplateText(uintptr_t context, const char* path, const char* text, size_t length) {
  HeapText normalized(SmartNormalizePath(path ? path : ""));
  if (!normalized.text || !text) return 0;
  TemplateFileScope scope(normalized.text);
  TemplateFileSource source(context, path);
  return ReadTemplateText(context, normalized.text, text, length, &source);
}

SKINHolder FindTemplateClassReference(uintptr_t context, const char* reference) {
  if (!reference || !*reference) return SKINHolder();
  const char* mark = strchr(reference + 1, '#');
  if (reference[0] == '#' || !mark) return FindTemplateClass(reference);
  const std::string path(reference, size_t(mark - reference));
  char normalized[kSkinPathMax + 1] = "";
  if (!ParseTemplateFile(context, path.c_str(), normalized)) return SKINHolder();
  return FindTemplateClass((std::string(normalized) + mark).c_str());
}
