// Extraction of a package's entries to disk, into the mount list or into
// memory.
#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/cipher_keys.h"
#include "package/file_retry.h"
#include "package/macros.h"
#include "package/package_extract.h"
#include "package/package_log.h"
#include "package/package_root.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace {

struct Walk {
  ZEQPackageDATA* package;
  ZEQList* mountList;
  std::string target;
  const char* filter;
  const char* storeList;
  std::string key;  // for references and re-keying
  uint32_t options;
  std::string output;  // the output path of the file entry last extracted
  bool Trusted() const { return (options & ZEQPKG_EXTRACT_TRUSTED) != 0; }
};

// Owned or borrowed entry data.
struct Data {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  uint8_t* owned = nullptr;
  size_t ownedSize = 0;
  ~Data() {
    if (owned) HeapFreeSecure(owned, ownedSize, true);
  }
  void Adopt(uint8_t* block, uint32_t count) {
    if (owned) HeapFreeSecure(owned, ownedSize, true);
    owned = block;
    ownedSize = count;
    bytes = block;
    length = count;
  }
};

bool HasText(const std::string& directive, const char* text) { return StrStrNoCase(directive.c_str(), text) != nullptr; }
bool HasWord(const std::string& directive, const char* word) {
  return FindOptionWord(directive.c_str(), word, false) != nullptr;
}

// A relative path that stays below the folder it is joined to: no drive, no
// share, no "..".
bool StaysInside(const std::string& path) {
  if (path.find(':') != std::string::npos) return false;
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) return false;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find_first_of("\\/", begin);
    if (end == std::string::npos) end = path.size();
    // Windows drops trailing dots and blanks of a name: "..", ". ." and
    // "..." all climb.
    const std::string part = path.substr(begin, end - begin);
    if (part.find_first_not_of(". \t") == std::string::npos && std::count(part.begin(), part.end(), '.') >= 2)
      return false;
    begin = end + 1;
  }
  return true;
}

std::string LastPart(const std::string& path) {
  const size_t last = path.rfind('\\');
  return last == std::string::npos ? "\\" + path : path.substr(last);
}

void AppendPart(std::string* path, const std::string& part) {
  if (!path->empty() && path->back() == '\\' && !part.empty() && part[0] == '\\')
    path->append(part, 1, std::string::npos);
  else
    path->append(part);
}

// Splits a ":ref(" value: one path, or a package path, blanks and a path
// inside it (blanks inside quotes do not split). Each part trimmed and
// unquoted, at most 260 characters.
bool SplitReference(const std::string& value, std::string* first, std::string* second) {
  bool quoted = false;
  size_t split = std::string::npos;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (!quoted && (value[i] == ' ' || value[i] == '\t')) {
      split = i;
      break;
    }
  }
  auto clean = [](std::string text) {
    text = zeqextract::Trimmed(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return text;
  };
  *first = clean(split == std::string::npos ? value : value.substr(0, split));
  *second = split == std::string::npos ? std::string() : clean(value.substr(split));
  return !first->empty() && first->size() <= MAX_PATH && second->size() <= MAX_PATH;
}

// A package image held in memory, opened as a temporary object (released
// by the caller); NULL when the bytes are no whole, readable package.
ZEQPackageDATA* OpenImage(const uint8_t* bytes, uint32_t length, const std::string& key, const char* path,
                          const std::string* fileWords) {
  if (length < kPackageHeaderSize) return nullptr;
  ZEQPackageDATA* nested = ZEQPackageNew(0, 0);
  SetPackageKey(nested->key, key.c_str(), kPackageKeyIsRaw);
  lstrcpynA(nested->path, path, sizeof(nested->path));
  std::memcpy(&nested->header, bytes, kPackageHeaderSize);
  if (fileWords) {
    uint32_t& flags = nested->header.Flags;
    if (HasWord(*fileWords, "plain")) flags &= ~ZEQPKG_ENCRYPT;
    if (HasWord(*fileWords, "encrypt")) flags |= ZEQPKG_ENCRYPT;
    if (HasWord(*fileWords, "deflate")) flags &= ~ZEQPKG_COMPRESS;
    if (HasWord(*fileWords, "compress")) flags |= ZEQPKG_COMPRESS;
  }
  if (!ZEQPackageCheckHeader(nested, nested->key) ||
      !ZEQPackagePrepareContents(nested, INVALID_HANDLE_VALUE, length - uint32_t(kPackageHeaderSize),
                                 bytes + kPackageHeaderSize, nested->header.Flags)) {
    ZEQPackageRelease(nested);
    return nullptr;
  }
  return nested;
}

// Re-keys a stored package image: deciphered with oldKey when it is
// enciphered, enciphered with newKey. A new image in *out.
bool RekeyImage(const Data& data, const std::string& oldKey, const std::string& newKey, Data* out) {
  if (data.length < kPackageHeaderSize) return false;
  ZEQPackageHeader header;
  std::memcpy(&header, data.bytes, kPackageHeaderSize);
  if (!PackageHeaderHasMagic(header)) return false;
  size_t bodyLength = data.length - kPackageHeaderSize;
  auto* body = static_cast<uint8_t*>(HeapAllocZ(bodyLength + 1));
  std::memcpy(body, data.bytes + kPackageHeaderSize, bodyLength);
  char oldField[kCipherKeyBufferSize] = {}, newField[kCipherKeyBufferSize] = {};
  SetPackageKey(oldField, oldKey.c_str(), kPackageKeyIsRaw);
  SetPackageKey(newField, newKey.c_str(), kPackageKeyIsRaw);
  bool ok = true;
  if (header.Flags & ZEQPKG_ENCRYPT) {
    body = ZEQPackageDecryptData(nullptr, body, &bodyLength, oldField);
    ok = body && PackageDecipherCustom(header.Custom, oldField);
  }
  if (ok) {
    body = ZEQPackageEncryptData(nullptr, body, &bodyLength, newField);
    ok = body && PackageEncipherCustom(header.Custom, newField);
    header.Flags |= ZEQPKG_ENCRYPT;
  }
  SecureZeroMemory(oldField, sizeof(oldField));
  SecureZeroMemory(newField, sizeof(newField));
  if (!ok) {
    if (body) HeapFreeSecure(body, bodyLength, true);
    return false;
  }
  auto* image = static_cast<uint8_t*>(HeapAllocZ(kPackageHeaderSize + bodyLength + 1));
  std::memcpy(image, &header, kPackageHeaderSize);
  std::memcpy(image + kPackageHeaderSize, body, bodyLength);
  HeapFreeSecure(body, bodyLength, true);
  out->Adopt(image, uint32_t(kPackageHeaderSize + bodyLength));
  return true;
}

// Wraps plain data as a single-content package under the extraction key:
// enciphered for the "encrypt" option, compressed for "compress". The
// package's image in *out.
bool WrapAsSinglePackage(const Data& data, const std::string& key, uint32_t options, Data* out) {
  uint32_t flags = 0;
  if (options & ZEQPKG_EXTRACT_ENCRYPT) flags |= ZEQPKG_ENCRYPT;
  if (options & ZEQPKG_EXTRACT_COMPRESS) flags |= ZEQPKG_COMPRESS;
  ZEQPackageDATA* wrapper = ZEQPackageNew(ZEQPKG_TYPE_SINGLE, flags);
  SetPackageKey(wrapper->key, key.c_str(), kPackageKeyIsRaw);
  const bool ok = ZEQPackageWriteFile(wrapper, data.length, data.bytes) && ZEQPackageMakeImage(wrapper);
  if (ok) {
    out->Adopt(wrapper->content, wrapper->length);
    out->ownedSize = wrapper->length;
    wrapper->content = nullptr;
    wrapper->length = 0;
  }
  ZEQPackageRelease(wrapper);
  return ok;
}

bool WriteDiskFile(const std::string& path, const Data& data) {
  HANDLE file = CreateFileExt(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, kCreateFileRetry);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFileExt(file, data.bytes, data.length, &written) && written == data.length;
  CloseHandleExt(&file);
  return ok;
}

int ExtractFile(Walk& walk, const PackageEntryDirectives& d, const std::string& entryPath, const Data& entryData);
// Logs a failure of one file entry and gives its code.
int FileFailure(const Walk& walk, const std::string& out, const char* what, int code) {
  PackageLogPrintf("ZEQPackageWriteFile: [FAILED] %s - Package: \"%s\", Extract File: \"%s\"", what,
                   walk.package->path, out.c_str());
  return code;
}

// Reads the data a ":ref(" names into *data; appends the referenced name
// to *out.
int ReadReference(Walk& walk, const PackageEntryDirectives& d, std::string* out, Data* data) {
  std::string first, second;
  if (!SplitReference(d.ref, &first, &second))
    return FileFailure(walk, *out, "Unable to parse :ref", ZEQPKG_EXTRACT_ERROR_PARSEREFERENCE);
  if (first.find(':') == std::string::npos) {
    if (first[0] == '/') first[0] = '\\';
    if (first[0] != '\\') first.insert(0, "\\");
    const std::string packagePath = walk.package->path;
    const size_t folder = packagePath.rfind('\\');
    if (folder == std::string::npos) {
      PackageLogPrintf(
          "ZEQPackageWriteFile: [FAILED] Unable adjust relative path :ref file \"%s\" - Package: \"%s\", "
          "Extract File: \"%s\"",
          first.c_str(), walk.package->path, out->c_str());
      first = "?";  // unusable: the next step fails
    } else {
      first.insert(0, packagePath.substr(0, folder));
    }
    if (!walk.Trusted() && !StaysInside(first.substr(first[0] == '?' ? 0 : folder + 1)))
      return FileFailure(walk, *out, "Reference leaves the package folder", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
  } else if (!walk.Trusted()) {
    return FileFailure(walk, *out, "Reference leaves the package folder", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
  }
  if (!second.empty()) {
    if (!WildcardMatchList(walk.filter, second.c_str(), 0)) return ZEQPKG_EXTRACT_SKIPPED;
    ZEQPackageDATA* other = ZEQPackageOpen(first.c_str(), d.key.c_str(), nullptr, kPackageKeyIsRaw);
    if (!other) {
      PackageLogPrintf("ZEQPackageWriteFile: [FAILED] Unable to open :ref package \"%s\" - Package: \"%s\", "
                       "Extract File: \"%s\"",
                       first.c_str(), walk.package->path, out->c_str());
      return ZEQPKG_EXTRACT_ERROR_OPENREFERENCEDATA;
    }
    PackageEntryDirectives keyOnly;
    keyOnly.key = d.key;
    const int code = ZEQPackageExtract(other, &keyOnly, nullptr, nullptr, second.c_str(), walk.storeList,
                                       walk.key.c_str(),
                                       ZEQPKG_EXTRACT_KEY_IS_RAW | ZEQPKG_EXTRACT_RECURSIVE |
                                           (walk.options & ZEQPKG_EXTRACT_TRUSTED));
    if (code != 0) {
      PackageLogPrintf("ZEQPackageWriteFile: [FAILED] Unable to extract :ref package \"%s\" -> \"%s\" - Package: "
                       "\"%s\", Extract File: \"%s\"",
                       first.c_str(), second.c_str(), walk.package->path, out->c_str());
    } else {
      data->Adopt(other->extracted, other->extractedLength);
      other->extracted = nullptr;
      other->extractedLength = 0;
      AppendPart(out, LastPart(second));
    }
    ZEQPackageRelease(other);
    return code;
  }
  AppendPart(out, LastPart(first));
  if (!WildcardMatchList(walk.filter, LastPart(first).c_str(), 0) &&
      !WildcardMatchList(walk.filter, first.c_str(), 0))
    return ZEQPKG_EXTRACT_SKIPPED;
  if (!PathFileExistsExt(first.c_str())) {
    PackageLogPrintf("ZEQPackageWriteFile: [FAILED] Unable to locate :ref file \"%s\" - Package: \"%s\", Extract "
                     "File: \"%s\"",
                     first.c_str(), walk.package->path, out->c_str());
    return ZEQPKG_EXTRACT_ERROR_LOCATEREFERENCE;
  }
  void* bytes = nullptr;
  DWORD size = 0;
  if (!ReadWholeFileExt(first.c_str(), &bytes, &size)) {
    PackageLogPrintf("ZEQPackageWriteFile: [FAILED] Unable to read :ref file \"%s\" - Package: \"%s\", Extract "
                     "File: \"%s\"",
                     first.c_str(), walk.package->path, out->c_str());
    return ZEQPKG_EXTRACT_ERROR_READREFERENCEDATA;
  }
  data->Adopt(static_cast<uint8_t*>(bytes), size);
  data->ownedSize = size + kReadWholeFileSpare;
  return 0;
}

// Unpacks data holding a package under the folder its words name.
int Unpack(Walk& walk, const PackageEntryDirectives& d, const std::string& entryPath, const std::string& out,
           const Data& data) {
  ZEQPackageDATA* nested = OpenImage(data.bytes, data.length, d.key, walk.package->path, &d.file);
  if (!nested)
    return FileFailure(walk, out, "Unable to unpack :file due toZEQPackageCheckHeader error",
                       ZEQPKG_EXTRACT_ERROR_INVALIDFILE);
  std::string folder = out;
  if (HasWord(d.file, "root")) {
    folder = walk.target;
  } else if (HasWord(d.file, "absolute")) {
    folder = entryPath.substr(entryPath[0] == '\\' ? 1 : 0);
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (!walk.Trusted()) {
      ZEQPackageRelease(nested);
      return FileFailure(walk, out, "Absolute unpacking refused", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
    }
  }
  PackageEntryDirectives keyOnly;
  keyOnly.key = d.key;
  const int code = ZEQPackageExtract(nested, &keyOnly, walk.mountList, folder.c_str(), walk.filter, walk.storeList,
                                     walk.key.c_str(), walk.options | ZEQPKG_EXTRACT_KEY_IS_RAW);
  ZEQPackageRelease(nested);
  if (code != 0) FileFailure(walk, out, "Unable to unpack :file due to ZEQPackageExtract error", code);
  return code;
}

int Store(Walk& walk, const PackageEntryDirectives& d, const std::string& entryPath, const std::string& out,
          const Data& data) {
  if (d.hasFile && HasText(d.file, "unpack")) return Unpack(walk, d, entryPath, out, data);
  const bool toMounts = walk.mountList && !HasText(d.file, "forcedump");
  const bool stored = walk.storeList && *walk.storeList && WildcardMatchList(walk.storeList, out.c_str(), 0);
  ZEQPackageHeader header = {};
  if (data.length >= kPackageHeaderSize) std::memcpy(&header, data.bytes, kPackageHeaderSize);
  const bool isPackage = data.length >= kPackageHeaderSize && PackageHeaderHasMagic(header);
  Data rekeyed;
  const Data* written = &data;
  if (!isPackage && stored && (walk.options & (ZEQPKG_EXTRACT_ENCRYPT | ZEQPKG_EXTRACT_COMPRESS))) {
    if (!WrapAsSinglePackage(data, walk.key, walk.options, &rekeyed))
      return FileFailure(walk, out, "Unable to create package file due to ZEQPackageWriteSinglePackage",
                         ZEQPKG_EXTRACT_ERROR_WRITEDATA);
    written = &rekeyed;
  }
  if (toMounts) {
    if (!VFSMountFile(out.c_str(), written->bytes, written->length))
      return FileFailure(walk, out, "Unable Allocate Memory to Package file system",
                         ZEQPKG_EXTRACT_ERROR_ALLOCATEMEMORY);
    return 0;
  }
  if (isPackage && stored && (walk.options & ZEQPKG_EXTRACT_ENCRYPT)) {
    if (!RekeyImage(data, d.key, walk.key, &rekeyed))
      return FileFailure(walk, out, "Unable to update package password file", ZEQPKG_EXTRACT_ERROR_PREPAREDATA);
    written = &rekeyed;
  }
  CreateParentDirectory(out.c_str());
  if (!WriteDiskFile(out, *written))
    return FileFailure(walk, out, isPackage ? "Unable to create package file #1" : "Unable to create package file #2",
                       ZEQPKG_EXTRACT_ERROR_CREATEFILE);
  DWORD attributes = 0;
  if (HasText(d.file, "+r")) attributes |= FILE_ATTRIBUTE_READONLY;
  if (HasText(d.file, "+h")) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (HasText(d.file, "+s")) attributes |= FILE_ATTRIBUTE_SYSTEM;
  if (attributes) SetFileAttributesA(SkipVirtualPrefix(out.c_str()), attributes);
  return 0;
}

int Run(Walk& walk, const PackageEntryDirectives& d, const std::string& out) {
  if (zeqextract::RunExtractedFile(out, d.exec)) return 0;
  return FileFailure(walk, out, "Unable to execute package file", ZEQPKG_EXTRACT_ERROR_UNABLETOEXECUTE);
}

ZEQPackageExtractErrorEvent g_extractErrorEvent = nullptr;

// Offers a failure to the package's extract-error handler; true when it asks
// for another attempt. Refusals of an untrusted package are final: trying
// again cannot change them.
bool RetryAsked(const Walk& walk, const std::string& out, const std::string& entryText, int code) {
  if (code == ZEQPKG_EXTRACT_ERROR_UNTRUSTED || !walk.package->errorHandlerCookie) return false;
  const ZEQPackageExtractErrorEvent event = g_extractErrorEvent;
  return event && event(walk.package, out.c_str(), entryText.c_str(), code) != 0;
}

// A file entry, tried again for as long as the extract-error handler asks.
int ExtractFileWithRetries(Walk& walk, const PackageEntryDirectives& d, const std::string& entryPath,
                           const std::string& entryText, const Data& entryData) {
  for (;;) {
    const int code = ExtractFile(walk, d, entryPath, entryData);
    if (code == 0 || code == ZEQPKG_EXTRACT_SKIPPED) return code;
    if (!RetryAsked(walk, walk.output, entryText, code)) return code;
  }
}

int ExtractFile(Walk& walk, const PackageEntryDirectives& d, const std::string& entryPath, const Data& entryData) {
  std::string& out = walk.output;
  out.clear();
  if (!ComposeExtractPath(entryPath.c_str(), walk.target.c_str(), walk.options, &out))
    return FileFailure(walk, entryPath, "Output path too long", ZEQPKG_EXTRACT_ERROR_INVALIDTARGETFILE);
  walk.package->progress(walk.package, out.c_str(), 0);
  if (!walk.Trusted() && !walk.target.empty() && !StaysInside(entryPath))
    return FileFailure(walk, out, "Entry path leaves the target folder", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
  int code = 0;
  Data data;
  if (d.hasRef) {
    code = ReadReference(walk, d, &out, &data);
  } else {
    data.bytes = entryData.bytes;
    data.length = entryData.length;
  }
  const std::string name = DirectiveParameter(d.file, "name");
  if (code == 0 && !name.empty()) {
    const size_t last = out.rfind('\\');
    if (!walk.Trusted() && (!StaysInside(name) || name.find_first_of("\\/") != std::string::npos))
      code = FileFailure(walk, out, "Package Extract file name invalid", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
    else if (last == std::string::npos)
      code = FileFailure(walk, out, "Package Extract file name invalid", ZEQPKG_EXTRACT_ERROR_INVALIDTARGETFILE);
    else
      out = out.substr(0, last + 1) + name;
  }
  if (code == 0) {
    if (walk.target.empty()) {
      auto* copy = static_cast<uint8_t*>(HeapAllocZ(size_t(data.length) + 1));
      std::memcpy(copy, data.bytes, data.length);
      if (walk.package->extracted) HeapFreeSecure(walk.package->extracted, walk.package->extractedLength, true);
      walk.package->extracted = copy;
      walk.package->extractedLength = data.length;
      return HasWord(d.opt, "nofail") ? 0 : code;
    }
    const bool run = (walk.options & ZEQPKG_EXTRACT_EXECUTE) && d.hasExec && HasWord(d.exec, "immediate");
    // A program an untrusted package asks to run is not even written.
    if (run && !walk.Trusted()) return FileFailure(walk, out, "Execution refused", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
    code = Store(walk, d, entryPath, out, data);
    if (code == 0 && run) code = Run(walk, d, out);
  }
  if (code == ZEQPKG_EXTRACT_SKIPPED) return code;
  if (!walk.target.empty() && HasWord(d.opt, "provisional")) ZEQPackageAddTemporaryFile(walk.package, out.c_str());
  return HasWord(d.opt, "nofail") ? 0 : code;
}

const char* WalkFailureText(int code) {
  switch (code) {
    case ZEQPKG_EXTRACT_ERROR_OPENTAG: return "Unable to read Open TAG";
    case ZEQPKG_EXTRACT_ERROR_RELATIVEPATH: return "Unable to read relative path";
    case ZEQPKG_EXTRACT_ERROR_CONTENTLENGTH: return "Unable to read Content Length";
    case ZEQPKG_EXTRACT_ERROR_SKIPDATA: return "Unable to Skip File Data";
    default: return "Unable to read Close TAG";
  }
}

int WalkEntries(Walk& walk, const PackageEntryDirectives* directiveTemplate) {
  ZEQPackageDATA* package = walk.package;
  const bool tagged = (package->header.Flags & ZEQPKG_TAGGED) != 0;
  const bool wildcard = walk.filter && std::strpbrk(walk.filter, "*?");
  auto fail = [&](const char* what, int code) {
    PackageLogPrintf("ZEQPackageExtract: [FAILED] %s - Package: \"%s\", Extract To: \"%s\"", what, package->path,
                     walk.target.c_str());
    return code;
  };
  size_t offset = 0;
  for (;;) {
    package->progress(package, nullptr, 0);
    PackageEntryView entry;
    bool more = false;
    const int error = PackageReadEntry(package->content, package->length, &offset, tagged, &entry, &more);
    if (error) return fail(WalkFailureText(error), error);
    if (!more) {
      if (!tagged && (walk.options & ZEQPKG_EXTRACT_RECURSIVE))
        return fail("Unable to read relative path", ZEQPKG_EXTRACT_ERROR_RELATIVEPATH);
      return 0;
    }
    char* normal = ProcessMacros(PackageNormaliseEntryPath(entry.path, entry.pathLength), nullptr, nullptr, 0);
    std::string path(normal);
    HeapFreeZ(normal);
    const std::string entryText = path;
    PackageEntryDirectives d;
    if (!ParseEntryDirectives(&path, directiveTemplate, package->key, &d))
      return fail("Unable to parse directives", ZEQPKG_EXTRACT_ERROR_PARSEDIRECTIVES);
    const bool selected = d.hasRef || WildcardMatchList(walk.filter, path.c_str(), 0);
    if (entry.type == ZEQPKG_CONTENT_TYPE_FOLDER) {
      if (!selected) continue;
      std::string out;
      if (!ComposeExtractPath(path.c_str(), walk.target.c_str(), walk.options, &out))
        return fail("Output path too long", ZEQPKG_EXTRACT_ERROR_INVALIDTARGETFILE);
      if (!walk.target.empty()) {
        if (!walk.Trusted() && !StaysInside(path))
          return fail("Entry path leaves the target folder", ZEQPKG_EXTRACT_ERROR_UNTRUSTED);
        if (HasText(d.opt, "provisional")) ZEQPackageAddTemporaryFile(package, out.c_str());
        const bool onDisk = !(walk.mountList && !HasText(d.file, "forcedump"));
        bool made = !onDisk || CreateFolderChain(out.c_str());
        while (!made && RetryAsked(walk, out, entryText, ZEQPKG_EXTRACT_ERROR_CREATEFOLDER))
          made = CreateFolderChain(out.c_str());
        if (!made) {
          PackageLogPrintf("ZEQPackageExtract: [FAILED] Unable to create Folder: \"%s\" - Package: \"%s\", Extract "
                           "To: \"%s\"",
                           out.c_str(), package->path, walk.target.c_str());
          return ZEQPKG_EXTRACT_ERROR_CREATEFOLDER;
        }
      }
      continue;
    }
    if (entry.type != ZEQPKG_CONTENT_TYPE_FILE) continue;
    if (selected) {
      Data data;
      data.bytes = entry.data;
      data.length = entry.dataLength;
      const int code = ExtractFileWithRetries(walk, d, path, entryText, data);
      if (code == ZEQPKG_EXTRACT_SKIPPED) continue;
      if (code != 0) return code;
      if (!wildcard) return 0;
      continue;
    }
    // Locate mode: a nested package on the way to the filter's path.
    if ((walk.options & ZEQPKG_EXTRACT_RECURSIVE) && walk.filter &&
        _strnicmp(walk.filter, path.c_str(), path.size()) == 0 && walk.filter[path.size()]) {
      ZEQPackageDATA* nested = OpenImage(entry.data, entry.dataLength, d.key, package->path, nullptr);
      if (!nested) continue;
      PackageEntryDirectives keyOnly;
      keyOnly.key = d.key;
      const int code = ZEQPackageExtract(nested, &keyOnly, walk.mountList, walk.target.c_str(),
                                         walk.filter + path.size(), walk.storeList, walk.key.c_str(),
                                         walk.options | ZEQPKG_EXTRACT_KEY_IS_RAW);
      if (code == 0) {
        if (nested->extracted) {
          if (package->extracted) HeapFreeSecure(package->extracted, package->extractedLength, true);
          package->extracted = nested->extracted;
          package->extractedLength = nested->extractedLength;
          nested->extracted = nullptr;
          nested->extractedLength = 0;
        }
        ZEQPackageRelease(nested);
        return 0;
      }
      ZEQPackageRelease(nested);
    }
  }
}

// The files of the current application package taken from the mount list
// (the package's own content may have been dropped after mounting).
int ExtractFromMounts(Walk& walk) {
  if (walk.package != ZEQGetApplicationPackage()) return 0;
  char* rootKey = MakeMountKey(VirtualRootBuffer());
  if (!rootKey) return 0;
  const std::string root(rootKey);
  HeapFreeZ(rootKey);
  ZEQList* list = VFSMountList();
  int code = 0;
  list->Lock();
  for (int i = 0; i < list->count; ++i) {
    ZEQListItem* item = list->GetItemAt(i);
    if (!item || !item->key) continue;
    const char* key = item->KeyText();
    if (_strnicmp(key, root.c_str(), root.size()) != 0 || key[root.size()] != '\\') continue;
    const std::string relative = key + root.size();
    if (!WildcardMatchList(walk.filter, relative.c_str(), 0)) continue;
    Data data;
    data.bytes = reinterpret_cast<const uint8_t*>(item->value1);
    data.length = uint32_t(item->value2);
    if (walk.target.empty()) {
      auto* copy = static_cast<uint8_t*>(HeapAllocZ(size_t(data.length) + 1));
      std::memcpy(copy, data.bytes, data.length);
      if (walk.package->extracted) HeapFreeSecure(walk.package->extracted, walk.package->extractedLength, true);
      walk.package->extracted = copy;
      walk.package->extractedLength = data.length;
      continue;
    }
    const std::string out = walk.target + relative;
    CreateParentDirectory(out.c_str());
    if (!WriteDiskFile(out, data)) {
      PackageLogPrintf("ZEQPackageExtractVFSFile: [FAILED] Unable to write data to file - Extract File: \"%s\"",
                       out.c_str());
      code = ZEQPKG_EXTRACT_ERROR_WRITEDATA;
    }
  }
  list->Unlock();
  return code;
}

}  // namespace

void ZEQSetPackageExtractErrorEvent(ZEQPackageExtractErrorEvent event) { g_extractErrorEvent = event; }

int ZEQPackageExtract(ZEQPackageDATA* package, const PackageEntryDirectives* directiveTemplate, ZEQList* mountList,
                      const char* target, const char* filter, const char* storeList, const char* password,
                      uint32_t options) {
  if (!package || (package->handle && package->handle != INVALID_HANDLE_VALUE)) return ZEQPKG_EXTRACT_NO_PACKAGE;
  try {
    Walk walk{package, mountList, target ? target : "", filter, storeList, std::string(), options, std::string()};
    if (!walk.target.empty() && (walk.target.back() == '\\' || walk.target.back() == '/')) walk.target.pop_back();
    if (options & ZEQPKG_EXTRACT_KEY_IS_RAW) {
      walk.key = password ? password : "";
    } else {
      char key[kCipherKeyBufferSize] = {};
      DerivePackageKey(password ? password : "", key);
      walk.key = key;
      SecureZeroMemory(key, sizeof(key));
    }
    if (options & ZEQPKG_EXTRACT_RAWVFS) return ExtractFromMounts(walk);
    if (!package->progress) package->progress = [](ZEQPackageDATA*, const char*, uintptr_t) { return 0; };
    const uint32_t position = package->position;
    int code;
    if (package->header.Type == ZEQPKG_TYPE_SINGLE) {
      std::string none;
      PackageEntryDirectives d;
      if (!ParseEntryDirectives(&none, directiveTemplate, package->key, &d)) return 4;
      Data data;
      data.bytes = package->content;
      data.length = package->length;
      code = ExtractFileWithRetries(walk, d, std::string(), std::string(), data);
      if (code == ZEQPKG_EXTRACT_SKIPPED) code = 0;
    } else {
      code = WalkEntries(walk, directiveTemplate);
    }
    package->position = position;
    SecureZeroMemory(&walk.key[0], walk.key.size());
    return code;
  } catch (const std::bad_alloc&) {
    PackageLogPrintf("ZEQPackageExtract: [FAILED] Out of memory - Package: \"%s\"", package->path);
    return ZEQPKG_EXTRACT_ERROR_ALLOCATEMEMORY;
  } catch (...) {
    PackageLogPrintf("!ZEQPackageExtract: Unexpected exception...");
    return ZEQPKG_EXTRACT_ERROR_READDATA;
  }
}
