// Path forms and normalisation: pure text logic, no platform calls beyond
// the heap and the text helpers.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/package_log.h"
#include "package/paths.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithNoCase(const char* text, const char* prefix) {
  return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const char* SkipVirtualPrefix(const char* path) {
  if (path && StartsWithNoCase(path, kZEQVirtualPrefix)) return path + kZEQVirtualPrefixLength;
  return path;
}

BOOL StripVirtualPrefix(char* path, BOOL remove) {
  if (!path || !StartsWithNoCase(path, kZEQVirtualPrefix)) return FALSE;
  if (remove) memmove(path, path + kZEQVirtualPrefixLength, strlen(path) - kZEQVirtualPrefixLength + 1);
  return TRUE;
}

BOOL IsFileSystemPath(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  const char* p = SkipVirtualPrefix(path);
  if ((p[0] == '\\' && p[1] == '\\') || (p[0] == '/' && p[1] == '/')) return TRUE;
  if (IsAsciiLetter(p[0]) && p[1] == ':') return TRUE;
  return StartsWithNoCase(p, "file:");
}

BOOL IsURLPath(const char* path) {
  if (IsEmptyString(path)) return FALSE;
  const char* p = SkipVirtualPrefix(path);
  if (p[0] == '/' && p[1] == '/') return TRUE;
  return StartsWithNoCase(p, "http:") || StartsWithNoCase(p, "https:") || StartsWithNoCase(p, "www.");
}

void UnescapeUrlInPlace(char* text) {
  if (!text) return;
  char* out = text;
  const char* in = text;
  while (*in && *in != '?' && *in != '#') {
    const int high = in[0] == '%' ? HexValue(in[1]) : -1;
    const int low = high >= 0 ? HexValue(in[2]) : -1;
    if (low >= 0) {
      *out++ = static_cast<char>(high * 16 + low);
      in += 3;
    } else {
      *out++ = *in++;
    }
  }
  if (out != in) memmove(out, in, strlen(in) + 1);
}

BOOL EscapeUrlSpaces(const char* text, char* output, size_t size) {
  if (!output || !size) return FALSE;
  size_t used = 0;
  for (const char* p = text ? text : ""; *p; ++p) {
    const size_t need = *p == ' ' ? 3 : 1;
    if (used + need + 1 > size) {
      output[0] = '\0';
      return FALSE;
    }
    if (*p == ' ') {
      memcpy(output + used, "%20", 3);
    } else {
      output[used] = *p;
    }
    used += need;
  }
  output[used] = '\0';
  return TRUE;
}

BOOL NormalizePathToFSFormat(char* path) {
  if (IsEmptyString(path)) {
    PackageLogPrintf("@NormalizePathToFSFormat: Path Is Empty");
    return FALSE;
  }
  if (!IsFileSystemPath(path)) return FALSE;
  StrReplaceChar(path, '/', '\\');
  if (StartsWithNoCase(path, "file:")) {
    UnescapeUrlInPlace(path);
    char* rest = path + 5;
    while (*rest == '\\') ++rest;
    const bool drive = rest[0] && (rest[1] == ':' || rest[1] == '|');
    const size_t length = strlen(rest);
    if (drive) {
      memmove(path, rest, length + 1);
    } else {
      // A host name becomes a UNC path. "file:" and at least one backslash
      // or none were removed; "\\" needs at most five bytes, so it fits.
      memmove(path + 2, rest, length + 1);
      path[0] = '\\';
      path[1] = '\\';
    }
  }
  return TRUE;
}

BOOL NormalizePathToURLFormat(char* path) {
  if (IsEmptyString(path)) {
    PackageLogPrintf("@NormalizePathToURLFormat: Path Is Empty");
    return FALSE;
  }
  if (!IsURLPath(path)) return FALSE;
  StrReplaceChar(path, '\\', '/');
  // Only a text that begins with two slashes is in both forms; it becomes a
  // "file:" URL of its UNC form. The UNC form has the same length, so the
  // prefix needs seven more bytes: the caller's buffer must hold them, which
  // is why SmartNormalizePath always tries the file-system form first.
  if (NormalizePathToFSFormat(path)) StrPrepend("file://", path);
  return TRUE;
}

void SmartNormalizePathInPlace(char* path) {
  if (!path) return;
  if (!*path) {
    PackageLogPrintf("@SmartNormalizePath: Path Is Empty");
    return;
  }
  StripVirtualPrefix(path, TRUE);
  if (!NormalizePathToFSFormat(path)) NormalizePathToURLFormat(path);
}

char* SmartNormalizePath(const char* path) {
  char* copy = StrDupExtra(path, 0);
  SmartNormalizePathInPlace(copy);
  const size_t capacity = strlen(copy) + MAX_PATH + 1;
  char* canonical = static_cast<char*>(HeapAllocZ(capacity));
  const BOOL ok = CanonicalizePathSegments(copy, canonical, MAX_PATH);
  HeapFreeZ(copy);
  if (ok) return canonical;
  HeapFreeZ(canonical);
  return nullptr;
}

BOOL CanonicalizePathSegments(const char* path, char* output, size_t size) {
  if (!output || !size) return FALSE;
  output[0] = '\0';
  const char* text = path ? path : "";
  const size_t length = strlen(text);
  // The root that ".." never climbs out of.
  size_t root = 0;
  if (text[0] == '\\' && text[1] == '\\') {
    const char* server = strchr(text + 2, '\\');
    root = server ? size_t(server - text) + 1 : length;
  } else if (IsAsciiLetter(text[0]) && text[1] == ':') {
    root = text[2] == '\\' ? 3 : 2;
  } else if (text[0] == '\\') {
    root = 1;
  }
  const bool rooted = root > 0;
  // Segments as (start, length) pairs over the text after the root.
  struct Segment {
    size_t start;
    size_t length;
  };
  const size_t maxSegments = length + 1;
  auto* segments = HeapAllocArray<Segment>(maxSegments);
  size_t count = 0;
  bool trailing = false;
  size_t position = root;
  while (position < length) {
    const char* end = strchr(text + position, '\\');
    const size_t segmentLength = end ? size_t(end - (text + position)) : length - position;
    const char* segment = text + position;
    const bool last = !end || end[1] == '\0';
    if (segmentLength == 1 && segment[0] == '.') {
      // Dropped.
    } else if (segmentLength == 2 && segment[0] == '.' && segment[1] == '.') {
      if (count > 0 && !(segments[count - 1].length == 2 && !strncmp(text + segments[count - 1].start, "..", 2))) {
        --count;
      } else if (!rooted) {
        segments[count++] = {position, segmentLength};
      }
    } else {
      segments[count++] = {position, segmentLength};
    }
    // A separator after the last segment stays; "\." and "\.." at the end
    // leave none.
    trailing = end && end[1] == '\0' && !(segmentLength == 1 && segment[0] == '.') &&
               !(segmentLength == 2 && segment[0] == '.' && segment[1] == '.');
    if (last) break;
    position += segmentLength + 1;
  }
  // Assemble: root, segments joined by '\', a trailing separator if kept.
  size_t used = 0;
  bool fits = root < size;
  if (fits) {
    memcpy(output, text, root);
    used = root;
  }
  for (size_t i = 0; fits && i < count; ++i) {
    const size_t need = segments[i].length + (i > 0 ? 1 : 0);
    if (used + need >= size) {
      fits = false;
      break;
    }
    if (i > 0) output[used++] = '\\';
    memcpy(output + used, text + segments[i].start, segments[i].length);
    used += segments[i].length;
  }
  if (fits && trailing && count > 0) {
    if (used + 1 >= size) {
      fits = false;
    } else {
      output[used++] = '\\';
    }
  }
  HeapFreeZ(segments);
  if (!fits) {
    output[0] = '\0';
    return FALSE;
  }
  output[used] = '\0';
  return TRUE;
}

namespace {

// A heap copy in file-system form (separator '\') or URL form ('/'); NULL
// when the path is in neither form.
char* NormalizedCopy(const char* path, char* separator) {
  char* copy = StrDupExtra(path, 8);
  if (NormalizePathToFSFormat(copy)) {
    *separator = '\\';
    return copy;
  }
  if (NormalizePathToURLFormat(copy)) {
    *separator = '/';
    return copy;
  }
  HeapFreeZ(copy);
  return nullptr;
}

}  // namespace

BOOL GetParentPath(const char* path, char* destination, size_t capacity) {
  if (IsEmptyString(path) || !destination) return FALSE;
  char separator;
  char* copy = NormalizedCopy(path, &separator);
  if (!copy) return FALSE;
  char* last = strrchr(copy, separator);
  BOOL ok = FALSE;
  if (last) {
    last[1] = '\0';
    const size_t length = strlen(copy);
    if (length + 1 <= capacity) {
      memcpy(destination, copy, length + 1);
      ok = TRUE;
    }
  }
  HeapFreeZ(copy);
  return ok;
}

BOOL GetPathFileName(const char* path, char* destination) {
  if (IsEmptyString(path) || !destination) return FALSE;
  char separator;
  char* copy = NormalizedCopy(path, &separator);
  if (!copy) return TRUE;
  const char* last = strrchr(copy, separator);
  if (!last) {
    HeapFreeZ(copy);
    return FALSE;
  }
  char* name = const_cast<char*>(last + 1);
  const size_t limit = kZEQPathBufferSize - 1;  // 259 characters
  size_t length = strlen(name);
  const char* dot = strrchr(name, '.');
  if (dot && length > limit) {
    const size_t extension = strlen(dot + 1);
    if (extension + 1 < limit) {
      // Keep the extension whole: the stem shrinks so that stem, dot and
      // extension make exactly the limit.
      const size_t stem = limit - extension - 1;
      memmove(name + stem, dot, extension + 2);
      length = limit;
    }
  }
  if (length > limit) name[limit] = '\0';
  StrCopyN(destination, name, limit);
  HeapFreeZ(copy);
  return TRUE;
}

BOOL RemoveTrailingBackslash(char* path) {
  if (path && *path) {
    const size_t length = strlen(path);
    if (path[length - 1] == '\\') path[length - 1] = '\0';
  }
  return TRUE;
}

BOOL CutPathAtAnchor(char* text) {
  if (IsEmptyString(text)) return FALSE;
  const char* anchor = strchr(text, '#');
  char* backslash = strrchr(text, '\\');
  if (backslash && (!anchor || backslash > anchor)) *backslash = '\0';
  GetParameterValue(text, "#{", nullptr, 0, nullptr, "^}", kParamCut | kParamEatSeparators, nullptr);
  return TRUE;
}
