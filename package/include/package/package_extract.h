// Extraction: a package's entries written to disk, into the mount list of
// the virtual file system, or into memory, with the entry directives
// (":opt(", ":ref(", ":file(", ":exec(") carried out.
//
// Output is confined to the target: an entry path or renamed file name that
// is absolute or holds a ".." part is refused, ":ref(" reads only files
// inside the package's own folder, and ":exec(" runs nothing, unless the
// caller extracts the trusted application package (ZEQPKG_EXTRACT_TRUSTED,
// set only by the start-up mount). A failure is always reported by its
// code, also under a wildcard filter.
#pragma once
#include <cstdint>
#include <string>

#include "package/package.h"

constexpr int ZEQPKG_EXTRACT_ERROR_NOERROR = 0;
constexpr int ZEQPKG_EXTRACT_ERROR_PARSEDIRECTIVES = 4;
constexpr int ZEQPKG_EXTRACT_ERROR_CREATEFOLDER = 5;
constexpr int ZEQPKG_EXTRACT_ERROR_ALLOCATEMEMORY = 7;
constexpr int ZEQPKG_EXTRACT_ERROR_READDATA = 8;
constexpr int ZEQPKG_EXTRACT_ERROR_PREPAREDATA = 9;
constexpr int ZEQPKG_EXTRACT_ERROR_WRITEDATA = 11;
constexpr int ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE = 12;
constexpr int ZEQPKG_EXTRACT_ERROR_OPENREFERENCEDATA = 13;
constexpr int ZEQPKG_EXTRACT_ERROR_READREFERENCEDATA = 14;
constexpr int ZEQPKG_EXTRACT_ERROR_PARSEREFERENCE = 15;
constexpr int ZEQPKG_EXTRACT_ERROR_INVALIDTARGETFILE = 16;
constexpr int ZEQPKG_EXTRACT_ERROR_INVALIDFILE = 17;
constexpr int ZEQPKG_EXTRACT_ERROR_UNABLETOEXECUTE = 18;
constexpr int ZEQPKG_EXTRACT_ERROR_CREATEFILE = 19;
// A referenced entry outside the filter: skipped, counts as done.
constexpr int ZEQPKG_EXTRACT_SKIPPED = 20;
// No package, or a file-backed one: nothing is extracted.
constexpr int ZEQPKG_EXTRACT_NO_PACKAGE = 21;
// An entry would be written outside the target, read a reference outside
// the package's folder or run a program, and the package is not trusted.
constexpr int ZEQPKG_EXTRACT_ERROR_UNTRUSTED = 22;

// Options.
constexpr uint32_t ZEQPKG_EXTRACT_EXECUTE = 0x1;
constexpr uint32_t ZEQPKG_EXTRACT_ROOT = 0x2;
constexpr uint32_t ZEQPKG_EXTRACT_RAWVFS = 0x8;
constexpr uint32_t ZEQPKG_EXTRACT_FILE = 0x10;
constexpr uint32_t ZEQPKG_EXTRACT_ENCRYPT = 0x20;
constexpr uint32_t ZEQPKG_EXTRACT_COMPRESS = 0x40;
constexpr uint32_t ZEQPKG_EXTRACT_RECURSIVE = 0x80;
// The package is the application package being mounted (never set from
// script): absolute entry paths, references anywhere and ":exec(" allowed.
constexpr uint32_t ZEQPKG_EXTRACT_TRUSTED = 0x40000000;
constexpr uint32_t ZEQPKG_EXTRACT_KEY_IS_RAW = 0x80000000;

// The directives of one entry, each the trimmed value of its first
// occurrence, and the entry's key (its "spwd" or the package key).
struct PackageEntryDirectives {
  bool hasOpt = false, hasRef = false, hasFile = false, hasExec = false;
  std::string opt, ref, file, exec;
  std::string key;
};

// Parses the directives out of an entry path text: *path keeps the bare
// path. Values of the template are the starting point (a template's key
// stays unless the entry has a "spwd"). False when an opener has no
// matching ")".
bool ParseEntryDirectives(std::string* path, const PackageEntryDirectives* base, const char* packageKey,
                          PackageEntryDirectives* out);

// The value of a name=value parameter of a directive ("" when missing): the
// value is trimmed and one pair of enclosing quotes removed.
std::string DirectiveParameter(const std::string& directive, const char* name);

namespace zeqextract {
// The text without leading and trailing blanks, tabs and line ends.
std::string Trimmed(const std::string& text);
// The page that runs a script file: the script inside a loader block of a
// page titled `title` that closes its window once loaded.
std::string ScriptRunPage(const std::string& title, const std::string& script);
// Runs a written file as its ":exec(" directive asks: a program ("exe") as
// a process, a script or page ("zeq", "js", "html") as a page in a new
// container window; with the word "wait" until the process ends or the
// window is gone. False for any other extension or when nothing ran.
bool RunExtractedFile(const std::string& path, const std::string& execDirective);
}  // namespace zeqextract

// The extract-error event: a failed entry is offered to the package's
// extract-error handler (package->errorHandlerCookie, the Global Interface
// Table cookie of the script function its owner script object keeps;
// package->owner is that object), which may ask for the entry to be tried
// again. The container host installs the delivery. The answer is the
// handler's own: non-zero asks for a retry; no handler, no delivery, a call
// that cannot be delivered or a handler that answers nothing gives 0.
// entryText is the entry's path with its directives ("" for a
// single-content package).
typedef int (*ZEQPackageExtractErrorEvent)(ZEQPackageDATA* package, const char* outputPath, const char* entryText,
                                           int code);
void ZEQSetPackageExtractErrorEvent(ZEQPackageExtractErrorEvent event);

// Composes an output path (at most MAX_PATH characters); false when it does
// not fit.
bool ComposeExtractPath(const char* entryPath, const char* target, uint32_t options, std::string* out);

// mountList: NULL, or the process mount list (VFSMountList()). target: a
// folder, a file name with ZEQPKG_EXTRACT_FILE, or NULL/"" for memory
// (package->extracted). filter and storeList: wildcard lists.
int ZEQPackageExtract(ZEQPackageDATA* package, const PackageEntryDirectives* directiveTemplate, ZEQList* mountList,
                      const char* target, const char* filter, const char* storeList, const char* password,
                      uint32_t options);
