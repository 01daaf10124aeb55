// Entry directives and output paths of extraction.
#include <cstring>
#include <string>

#include "foundation/text.h"
#include "package/cipher_keys.h"
#include "package/package_extract.h"
#include "package/paths.h"

std::string zeqextract::Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

namespace {
using zeqextract::Trimmed;

// Finds the first occurrence of opener and cuts it, with its value, out of
// *path. -1: not present; 0: the ")" is missing; 1: cut, *value set.
int CutDirective(std::string* path, const char* opener, std::string* value) {
  const size_t at = path->find(opener);
  if (at == std::string::npos) return -1;
  const size_t begin = at + std::strlen(opener);
  int depth = 1;
  size_t i = begin;
  for (; i < path->size(); ++i) {
    if ((*path)[i] == '(') ++depth;
    if ((*path)[i] == ')' && --depth == 0) break;
  }
  if (i >= path->size()) return 0;
  *value = Trimmed(path->substr(begin, i - begin));
  path->erase(at, i + 1 - at);
  return 1;
}

}  // namespace

std::string DirectiveParameter(const std::string& directive, const char* name) {
  const char* after = FindOptionWord(directive.c_str(), name, false);
  if (!after) return std::string();
  while (*after == ' ' || *after == '\t') ++after;
  if (*after != '=') return std::string();
  ++after;
  while (*after == ' ' || *after == '\t') ++after;
  std::string value;
  if (*after == '"' || *after == '\'') {
    const char quote = *after++;
    const char* end = std::strchr(after, quote);
    value.assign(after, end ? size_t(end - after) : std::strlen(after));
  } else {
    const char* end = after;
    while (*end && *end != ' ' && *end != '\t' && *end != ',' && *end != ';') ++end;
    value.assign(after, size_t(end - after));
  }
  return Trimmed(value);
}

bool ParseEntryDirectives(std::string* path, const PackageEntryDirectives* base, const char* packageKey,
                          PackageEntryDirectives* out) {
  PackageEntryDirectives parsed = base ? *base : PackageEntryDirectives();
  if (!base) parsed.key = packageKey ? packageKey : "";
  struct Slot {
    const char* opener;
    bool* has;
    std::string* value;
  } slots[] = {{":opt(", &parsed.hasOpt, &parsed.opt},
               {":ref(", &parsed.hasRef, &parsed.ref},
               {":file(", &parsed.hasFile, &parsed.file},
               {":exec(", &parsed.hasExec, &parsed.exec}};
  for (const Slot& slot : slots) {
    std::string value;
    const int cut = CutDirective(path, slot.opener, &value);
    if (cut == 0) return false;
    if (cut == 1) {
      *slot.has = true;
      *slot.value = value;
    }
  }
  const std::string password = DirectiveParameter(parsed.opt, "spwd");
  if (!password.empty()) {
    char key[kCipherKeyBufferSize] = {};
    DerivePackageKey(password.c_str(), key);
    parsed.key = key;
    SecureZeroMemory(key, sizeof(key));
  }
  *out = parsed;
  return true;
}

bool ComposeExtractPath(const char* entryPath, const char* target, uint32_t options, std::string* out) {
  const std::string entry = entryPath ? entryPath : "";
  std::string base = target ? target : "";
  if (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  std::string result;
  if (!entry.empty() && IsFileSystemPath(entry.c_str())) {
    result = entry;
  } else if (base.empty()) {
    result.clear();
  } else if (options & ZEQPKG_EXTRACT_FILE) {
    result = base;
  } else if (options & ZEQPKG_EXTRACT_ROOT) {
    const size_t last = entry.rfind('\\');
    result = (entry.empty() || entry == "\\" || last == std::string::npos) ? base : base + entry.substr(last);
  } else {
    result = (entry.empty() || entry == "\\") ? base : base + entry;
  }
  if (result.size() > MAX_PATH) return false;
  *out = result;
  return true;
}
