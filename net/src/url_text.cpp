#include "net/url_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"

namespace {

const char* const kSchemes[] = {"http:", "https:", "ftp:", "file:", "news:", "mailto:", "mms:"};
const char* const kWebPrefixes[] = {"www.", "ww2.", "ww1.", "ww3.", "web."};

bool StartsNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
      return false;
  return true;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Copies [from, from + length) into a field of the given capacity, cut.
void CopyCut(char* field, size_t capacity, const char* from, size_t length) {
  if (length > capacity) length = capacity;
  std::memcpy(field, from, length);
  field[length] = '\0';
}

// The first slash of [text, end), else the first backslash, else end.
const char* FirstSeparator(const char* text, const char* end) {
  const char* slash = static_cast<const char*>(std::memchr(text, '/', end - text));
  if (slash) return slash;
  const char* backslash = static_cast<const char*>(std::memchr(text, '\\', end - text));
  return backslash ? backslash : end;
}

bool ContainsNoCase(const std::string& text, const char* part) {
  const size_t n = std::strlen(part);
  for (size_t i = 0; i + n <= text.size(); ++i)
    if (StartsNoCase(text.c_str() + i, part)) return true;
  return false;
}

bool HasWebPrefix(const std::string& host) {
  for (const char* prefix : kWebPrefixes)
    if (ContainsNoCase(host, prefix)) return true;
  return false;
}

// Where name starts a header line of text (any case, at the text's start or
// after LF), from from on; null when nowhere.
const char* FindHeaderName(const char* text, const char* from, const char* name) {
  const size_t n = std::strlen(name);
  if (n == 0) return nullptr;
  for (const char* at = from; *at; ++at) {
    if (at != text && at[-1] != '\n') continue;
    if (StartsNoCase(at, name)) return at;
  }
  return nullptr;
}

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

void URLComponents::Free() {
  for (char** field : {&scheme, &slashes, &user, &host, &port, &path, &query}) {
    if (*field) HeapFreeZ(*field);
    *field = nullptr;
  }
}

int ParseURL(const char* text, URLComponents* c) {
  if (!text || !c) return 0;
  try {
    c->Free();
    c->scheme = static_cast<char*>(HeapAllocZ(URLComponents::kSchemeSize + 1));
    c->slashes = static_cast<char*>(HeapAllocZ(URLComponents::kSlashesSize + 1));
    c->user = static_cast<char*>(HeapAllocZ(URLComponents::kUserSize + 1));
    c->host = static_cast<char*>(HeapAllocZ(URLComponents::kHostSize + 1));
    c->port = static_cast<char*>(HeapAllocZ(URLComponents::kPortSize + 1));
    c->path = static_cast<char*>(HeapAllocZ(URLComponents::kPathSize + 1));
    c->query = static_cast<char*>(HeapAllocZ(URLComponents::kQuerySize + 1));
  } catch (...) {
    c->Free();
    return 0;
  }
  const char* p = text;
  if (StartsNoCase(p, "zeq:")) p += 4;
  for (const char* scheme : kSchemes) {
    if (StartsNoCase(p, scheme)) {
      std::strcpy(c->scheme, scheme);
      p += std::strlen(scheme);
      break;
    }
  }
  for (int i = 0; i < 2 && IsSeparator(*p); ++i, ++p) std::strcat(c->slashes, "/");
  const char* end = p + std::strlen(p);
  if (const char* question = std::strchr(p, '?')) {
    CopyCut(c->query, URLComponents::kQuerySize, question, end - question);
    end = question;
  }
  if (const char* at = static_cast<const char*>(std::memchr(p, '@', end - p))) {
    CopyCut(c->user, URLComponents::kUserSize, p, at + 1 - p);
    p = at + 1;
  }
  if (const char* colon = static_cast<const char*>(std::memchr(p, ':', end - p))) {
    CopyCut(c->host, URLComponents::kHostSize, p, colon - p);
    const char* separator = FirstSeparator(colon + 1, end);
    CopyCut(c->port, URLComponents::kPortSize, colon + 1, separator - colon - 1);
    CopyCut(c->path, URLComponents::kPathSize, separator, end - separator);
  } else {
    const char* separator = FirstSeparator(p, end);
    CopyCut(c->host, URLComponents::kHostSize, p, separator - p);
    CopyCut(c->path, URLComponents::kPathSize, separator, end - separator);
  }
  return 1;
}

int AdjustTypedURLWithKeys(char* out, const char* text, int flags, bool controlDown, bool shiftDown) {
  if (!out) return 0;
  out[0] = '\0';
  URLComponents c;
  if (!ParseURL(text, &c)) return 0;
  int result = 0;
  try {
    std::string host = c.host;
    const size_t first = host.find_first_not_of(" \t");
    host = first == std::string::npos ? std::string() : host.substr(first, host.find_last_not_of(" \t") - first + 1);
    const bool schemeEmpty = c.scheme[0] == '\0';
    const bool completing = (flags & 2) != 0;
    bool controlRan = false;
    if (controlDown && completing) {
      controlRan = true;
      if (schemeEmpty && !HasWebPrefix(host)) host.insert(0, "www.");
      if (!ContainsNoCase(host, ".com")) host += ".com";
    }
    if (shiftDown && completing) {
      if (!controlRan && schemeEmpty && !HasWebPrefix(host)) host.insert(0, "www.");
      if (!ContainsNoCase(host, ".br")) {
        if (ContainsNoCase(host, ".com")) {
          std::string replaced;
          for (size_t i = 0; i < host.size();) {
            if (host.compare(i, 4, ".com") == 0) {
              replaced += ".com.br";
              i += 4;
            } else {
              replaced += host[i++];
            }
          }
          host = replaced;
        } else {
          host += ".br";
        }
      }
    }
    std::string whole = schemeEmpty ? "http:" : c.scheme;
    whole += c.slashes[0] ? c.slashes : "//";
    whole += c.user;
    whole += host;
    if (c.port[0]) {
      whole += ':';
      whole += c.port;
    }
    whole += c.path;
    whole += c.query;
    CopyCut(out, kTypedURLSize - 1, whole.data(), whole.size());
    result = 1;
  } catch (...) {
    out[0] = '\0';
  }
  c.Free();
  return result;
}

int IsHTTPStatusLine(const char* text) {
  HTTPStatus status;
  if (!text || !StartsNoCase(text, "HTTP/")) return 0;
  return std::sscanf(text, "HTTP/%19s %d", status.version, &status.code) >= 1 ? 1 : 0;
}

int ParseHTTPStatusLine(const char* text, HTTPStatus* status) {
  std::memset(status, 0, sizeof(*status));
  if (!text || std::strncmp(text, "HTTP/", 5) != 0) return 0;
  if (std::sscanf(text, "HTTP/%19s %d", status->version, &status->code) < 1) return 0;
  int32_t length = 0;
  if (GetHTTPContentLength(text, &length)) status->contentLength = length;
  return 1;
}

int GetHTTPContentLength(const char* text, int32_t* length) {
  if (!text) return 0;
  for (const char* at = FindHeaderName(text, text, "Content-Length"); at;
       at = FindHeaderName(text, at + 1, "Content-Length")) {
    const char* p = SkipBlanks(at + 14);
    if (*p != ':') continue;
    p = SkipBlanks(p + 1);
    int64_t value = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9' && value <= INT32_MAX) value = value * 10 + (*p++ - '0');
    p = SkipBlanks(p);
    if (p == digits || value > INT32_MAX || (*p != '\r' && *p != '\n' && *p != '\0')) continue;
    *length = static_cast<int32_t>(value);
    return 1;
  }
  return 0;
}

int GetHTTPHeaderValue(const char* name, const char* headers, char* value, size_t valueSize) {
  if (!value || valueSize == 0) return 0;
  value[0] = '\0';
  if (!name || !headers) return 0;
  const size_t nameLength = std::strlen(name);
  for (const char* at = FindHeaderName(headers, headers, name); at; at = FindHeaderName(headers, at + 1, name)) {
    const char* p = SkipBlanks(at + nameLength);
    if (*p != ':') continue;
    p = SkipBlanks(p + 1);
    const char* end = std::strstr(p, "\r\n");
    if (!end) return 0;  // a line without its CR LF is not a header yet
    const size_t length = static_cast<size_t>(end - p);
    if (length >= valueSize) return 0;  // never cut: a cut value would mean something else
    std::memcpy(value, p, length);
    value[length] = '\0';
    return 1;
  }
  return 0;
}
