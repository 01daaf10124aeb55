// Pre-processing of the script and markup texts served through "zeq:": the
// loader-script statements and imports, the initialisation tag of pages,
// dictionary references, macros and the run-time information block.
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/counted_text.h"
#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/runtime_services.h"
#include "foundation/text.h"
#include "host/loader_page.h"
#include "package/definition_references.h"
#include "package/macros.h"
#include "package/path_expand.h"
#include "package/paths.h"
#include "package/served_text.h"
#include "package/vfs.h"

namespace {

constexpr char kImport[] = "@import";
constexpr size_t kImportLength = sizeof kImport - 1;
constexpr char kInitializeTag[] = "<ZEQ:Initialize";
constexpr char kInitializeReplacement[] =
    "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=EmulateIE9; IE=EmulateIE8; "
    "IE=EmulateIE7;\"><script language=\"javascript\" type=\"text/javascript\" "
    "id=\"ZEQInitialize\" style=\"behavior: url( #default#ZEQBase )\" "
    "src=\"zeq:/KESTOCore.js\" %s></script>\r\n";
// Served content gets the system macros only.
constexpr unsigned kContentMacroOptions = kMacroSystemOnly | kMacroGrow;
// Imports nested deeper than this are refused as the definitions reader
// refuses its includes: a chain that long is a mistake, not a program.
constexpr size_t kMaxImportDepth = 32;

// The files being pre-processed on this thread, outermost first, in their
// canonical form: an import of one of them would never end.
thread_local std::vector<std::string> tImportChain;

class ImportChainEntry {
 public:
  explicit ImportChainEntry(const std::string& key) : pushed_(!key.empty()) {
    if (pushed_) tImportChain.push_back(key);
  }
  ~ImportChainEntry() {
    if (pushed_) tImportChain.pop_back();
  }
  ImportChainEntry(const ImportChainEntry&) = delete;
  ImportChainEntry& operator=(const ImportChainEntry&) = delete;

 private:
  bool pushed_;
};

// The key under which a path stands on the import chain ("" for none).
std::string ChainKey(const char* path) {
  if (IsEmptyString(path)) return std::string();
  char* canonical = SmartNormalizePath(path);
  std::string key = canonical ? canonical : path;
  HeapFreeZ(canonical);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return key;
}

bool IsOnImportChain(const std::string& key) {
  if (tImportChain.size() >= kMaxImportDepth) return true;
  for (const std::string& entry : tImportChain) {
    if (entry == key) return true;
  }
  return false;
}

// The block holds at least one byte after the text, zero, so that the text
// routines that stop at the terminator never read past the count.
void EnsureTerminated(char** text, size_t* length) {
  if (!*text) {
    *text = static_cast<char*>(HeapAllocZ(1));
    *length = 0;
    return;
  }
  if (HeapBlockSize(*text) <= *length) *text = static_cast<char*>(HeapReAllocZ(*text, *length + 1));
  (*text)[*length] = '\0';
}

bool ExtensionIsOneOf(const char* path, std::initializer_list<const char*> extensions) {
  if (!path) return false;
  for (const char* extension : extensions) {
    if (HasExtension(path, extension)) return true;
  }
  return false;
}

bool ContainsNoCase(const char* text, const char* word) { return StrStrNoCase(text, word) != nullptr; }

std::string Format(const char* format, const std::string& first, const std::string& second = "") {
  std::string out = format;
  const size_t a = out.find("%s");
  out.replace(a, 2, first);
  const size_t b = out.find("%s", a + first.size());
  if (b != std::string::npos) out.replace(b, 2, second);
  return out;
}

// One "@import" directive, read from its line.
struct ImportDirective {
  std::string line;     // the line as processed (blanks reduced)
  std::string path;
  std::string options;
  bool inlined = false;
  bool recursive = false;
  bool untagged = false;
  bool nofail = false;
  bool defer = false;
};

ImportDirective ReadDirective(char* line, uint32_t* options) {
  ImportDirective d;
  TrimBlanks(line);
  StrRemoveUnquotedChar(line, ' ', true);
  StrRemoveUnquotedChar(line, '\t', true);
  d.line = line;
  // The directive word and the one character after it.
  const size_t n = strlen(line);
  const char* rest = line + (n > kImportLength ? kImportLength + 1 : n);
  char* parts[2] = {nullptr, nullptr};
  StrSplitToParts(rest, ',', 2, parts);
  if (parts[0]) d.path = TrimAndUnquote(parts[0]);
  if (parts[1]) d.options = TrimAndUnquote(parts[1]);
  HeapFreeZ(parts[0]);
  HeapFreeZ(parts[1]);

  const char* o = d.options.c_str();
  d.inlined = ContainsNoCase(o, "inline");
  d.recursive = ContainsNoCase(o, "recursive");
  d.untagged = ContainsNoCase(o, "untagged");
  d.nofail = ContainsNoCase(o, "nofail");
  if (ContainsNoCase(o, "as html")) *options |= kPreprocessAsHtml;
  if (ContainsNoCase(o, "as js") || ContainsNoCase(o, "as zeq")) *options |= kPreprocessAsScript;
  d.defer = _stricmp(o, "defer") == 0;
  return d;
}

// The import's path resolved against the folder of the importing file, in
// file-system form (or URL form); "" when it resolves to nothing.
std::string ResolveImportPath(const std::string& written, const char* importer) {
  char parent[MAX_PATH + 1] = {};
  const bool hasParent = importer && GetParentPath(importer, parent, sizeof parent);
  char* path = StrDupExtra(written.c_str(), MAX_PATH);
  ExpandLoaderRelativePath(&path, written.size() + MAX_PATH, hasParent ? parent : nullptr);
  std::string resolved;
  if (IsEmptyString(path)) {
    ZEQLogPrintf("@SmartNormalizePath: Path Is Empty");
  } else {
    StripVirtualPrefix(path, TRUE);
    if (IsFileSystemPath(path)) {
      NormalizePathToFSFormat(path);
    } else {
      NormalizePathToURLFormat(path);
    }
    resolved = path;
  }
  HeapFreeZ(path);
  return resolved;
}

enum class ImportResult { kReplaced, kLeft, kFailed };

// Handles the directive whose line holds the hit; *next receives the offset
// where the search goes on.
ImportResult ApplyImport(const char* path, char** text, size_t* length, size_t hit,
                         uint32_t* options, size_t* next) {
  *next = hit + kImportLength;
  char* line = GetLineAt(*text + hit, *text, 1);
  if (!line || _strnicmp(line, kImport, kImportLength) != 0) {
    HeapFreeZ(line);
    return ImportResult::kLeft;
  }
  const ImportDirective d = ReadDirective(line, options);
  HeapFreeZ(line);

  const bool pageFile = ExtensionIsOneOf(path, {"htm", "html", "htc"});
  const bool scriptFile = ExtensionIsOneOf(path, {"js", "zeq"});
  const bool markup = pageFile || (*options & kPreprocessAsHtml);
  const bool script = scriptFile || (*options & kPreprocessAsScript);

  std::string resolved = ResolveImportPath(d.path, path);
  bool exists = !resolved.empty() && PathFileExistsExt(resolved.c_str());
  if (exists && (d.inlined || d.recursive) && IsOnImportChain(ChainKey(resolved.c_str()))) {
    ZEQLogPrintf("ZEQPreprocessContent: Import Refused, Circular Or Too Deep: %s", resolved.c_str());
    exists = false;
  }

  bool haveIncluded = false;
  std::string included;
  if (exists) {
    if (d.inlined || d.recursive) {
      char* nested = nullptr;
      size_t nestedLength = 0;
      const uint32_t nestedOptions =
          kPreprocessNested | (*options & (kPreprocessAsHtml | kPreprocessAsScript));
      const int ok = ZEQPreprocessContent(resolved.c_str(), &nested, &nestedLength, nestedOptions);
      if (ok) included.assign(nested ? nested : "", nested ? nestedLength : 0);
      HeapFreeZ(nested);
      if (!ok) return ImportResult::kFailed;
      haveIncluded = true;
    }
  } else {
    if (!d.nofail) return ImportResult::kFailed;
    included = pageFile ? "<!--" + d.line + "-->\r\n" : "//" + d.line + "\r\n";
    haveIncluded = true;
  }

  // The page fetches what it imports by address: a file of this machine or
  // of the mounted package is served by the zeq: scheme (a plain drive path
  // would be looked for on disk, where a mounted file is not).
  std::string urlPath = resolved;
  for (char& c : urlPath) {
    if (c == '\\') c = '/';
  }
  if (!urlPath.empty() && IsFileSystemPath(resolved.c_str())) urlPath = "zeq:" + urlPath;
  const std::string deferText = d.defer ? "defer" : "";
  bool replace = false;
  std::string replacement;
  if (markup) {
    replace = true;
    if (!d.inlined) {
      replacement = Format(
          "<script language=\"javascript\" type=\"text/javascript\" src=\"%s\" %s></script>",
          urlPath, deferText);
    } else if (d.untagged) {
      replacement = included;
    } else {
      replacement =
          Format("<script language=\"javascript\" type=\"text/javascript\" %s>\r\n\r\n", deferText) +
          included + "\r\n\r\n</script>";
    }
  } else if (script) {
    if (d.inlined || d.recursive || d.untagged) {
      replace = haveIncluded;
      replacement = included;
    } else {
      replace = true;
      replacement = Format("ZEQInclude( \"%s\", \"JScript\", %s );", urlPath,
                           d.defer ? "true" : "false");
    }
  }
  if (!replace) return ImportResult::kLeft;

  // The span from the hit to the end of the line without its trailing blanks.
  size_t end = hit;
  while (end < *length && (*text)[end] != '\r' && (*text)[end] != '\n' && (*text)[end] != '\0') ++end;
  while (end > hit && ((*text)[end - 1] == ' ' || (*text)[end - 1] == '\t')) --end;
  *next = ReplaceBufferSpan(text, length, hit, end - hit, replacement.data(), replacement.size());
  return ImportResult::kReplaced;
}

bool ProcessImports(const char* path, char** text, size_t* length, uint32_t* options) {
  size_t at = 0;
  while ((at = FindBytes(*text, *length, at, kImport, true)) < *length) {
    size_t next = at;
    if (ApplyImport(path, text, length, at, options, &next) == ImportResult::kFailed) return false;
    at = next;
  }
  return true;
}

void ReplaceInitializeTag(char** text, size_t* length) {
  const size_t tag = FindBytes(*text, *length, 0, kInitializeTag, true);
  if (tag >= *length) return;
  const size_t attributesAt = tag + sizeof kInitializeTag - 1;
  const size_t close = FindBytes(*text, *length, attributesAt, "/>", true);
  if (close >= *length) return;
  const std::string attributes(*text + attributesAt, close - attributesAt);
  const std::string replacement = Format(kInitializeReplacement, attributes);
  ReplaceBufferSpan(text, length, tag, close + 2 - tag, replacement.data(), replacement.size());
  ReplaceAllBytes(text, length, "charset=utf-16", "charset=UTF-8", false);
}

}  // namespace

int ZEQPreprocessContent(const char* path, char** text, size_t* length, uint32_t options) {
  if (!text || !length) return 0;
  if (!(options & kPreprocessGivenText) && !IsEmptyString(path)) {
    void* data = nullptr;
    DWORD size = 0;
    if (!ReadWholeFileExt(path, &data, &size) || !data) return 0;
    HeapFreeZ(*text);
    *text = static_cast<char*>(data);
    *length = size;
  }
  EnsureTerminated(text, length);
  ImportChainEntry chainEntry(ChainKey(path));

  const bool servedText = IsScriptOrMarkupFile(path);
  uint32_t encoding = 0;
  if (servedText) {
    encoding = TextBufferToUtf8(text, length);
    EnsureTerminated(text, length);
  }

  if (options & kPreprocessStatements) {
    ReplaceAllBytes(text, length, "@exit", "break ZEQLOADER; // @exit", true);
    ReplaceAllBytes(text, length, "@noclose", "document.body.onload = null; // @noclose", true);
  }

  if (ExtensionIsOneOf(path, {"js", "zeq", "htm", "html", "htc"}) &&
      !ProcessImports(path, text, length, &options)) {
    return 0;
  }

  if (ExtensionIsOneOf(path, {"htm", "html", "zeq"})) ReplaceInitializeTag(text, length);

  if (!ProcessDictionaryReferences(text, length, kDictionaryValueBytes)) return 0;

  if (servedText || IsQuelmDefinitionsFile(path)) {
    *text = ProcessMacros(*text, length, nullptr, kContentMacroOptions);
  }
  if (servedText) AppendRuntimeInfoBlock(path, text, length, encoding, options);
  return 1;
}
