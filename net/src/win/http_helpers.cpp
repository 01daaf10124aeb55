#include "net/http_helpers.h"

#include <shlwapi.h>
// The shell's own ParseURL (a macro of shlwapi.h) is not ours.
#undef ParseURL

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "net/name_resolution.h"
#include "net/socket_helpers.h"

namespace {

constexpr size_t kHTTPChunk = 2048;
constexpr size_t kCheckURLMax = 2048;
constexpr size_t kCheckReplySize = 8192;
constexpr char kHeaderEnd[] = "\r\n\r\n";

std::string Escaped(const char* text) {
  std::string buffer(std::strlen(text) + kCheckURLMax + 1, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  if (FAILED(UrlEscapeA(text, &buffer[0], &size, URL_ESCAPE_SPACES_ONLY))) return std::string();
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

}  // namespace

int UrlEscapeInPlace(char* text, size_t capacity) {
  if (!text) return 0;
  try {
    const std::string escaped = Escaped(text);
    if (escaped.empty() && *text) return 0;
    if (escaped.size() + 1 > capacity) return 0;
    std::memcpy(text, escaped.c_str(), escaped.size() + 1);
    return 1;
  } catch (...) {
    return 0;
  }
}

char* UrlEscapeToHeap(const char* text) {
  if (!text) return nullptr;
  try {
    const std::string escaped = Escaped(text);
    if (escaped.empty() && *text) return nullptr;
    char* copy = static_cast<char*>(HeapAllocZ(escaped.size() + 1));
    std::memcpy(copy, escaped.c_str(), escaped.size());
    return copy;
  } catch (...) {
    return nullptr;
  }
}

int AdjustTypedURL(char* out, const char* text, int flags) {
  const bool control = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
  const bool shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  return AdjustTypedURLWithKeys(out, text, flags, control, shift);
}

int HTTPSendGetRequest(URLComponents* c, SOCKET s, char* reply, size_t replySize) {
  if (!c || !c->scheme || !reply || replySize < 2) return 0;
  try {
    std::string request = "GET ";
    request += c->scheme[0] ? c->scheme : "http:";
    request += c->slashes[0] ? c->slashes : "//";
    request += c->host;
    request += c->path;
    request += " HTTP/1.0\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1 )\r\n\r\n";
    if (SendBuffer(s, request.data(), static_cast<int>(request.size()), kSocketRetryTimedOut) != 0) return 0;
    std::memset(reply, 0, replySize);
    size_t held = 0;
    while (held < replySize - 1) {
      int amount = static_cast<int>(std::min<size_t>(80, replySize - 1 - held));
      const int error = ReceiveBuffer(s, reply + held, &amount, kSocketReturnFirstChunk | kSocketRetryWouldBlock);
      if (error == WSAEDISCON) return 1;
      if (error) return 0;
      const bool first = held == 0;
      held += static_cast<size_t>(amount);
      reply[held] = '\0';
      if (first && !IsHTTPStatusLine(reply)) return 1;
      if (char* end = std::strstr(reply, kHeaderEnd)) {
        end[4] = '\0';
        return 1;
      }
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

bool HTTPCheckURL(const char* url) {
  if (!url) return false;
  char working[kCheckURLMax * 3 + 1] = {};
  std::strncpy(working, url, kCheckURLMax);
  if (!UrlEscapeInPlace(working, sizeof(working))) return false;
  URLComponents parts;
  SOCKET s = INVALID_SOCKET;
  bool found = false;
  char* reply = nullptr;
  try {
    if (ParseURL(working, &parts)) {
      int port = 80;
      if (parts.port[0]) {
        char* end = nullptr;
        const long value = std::strtol(parts.port, &end, 10);
        port = (*end == '\0' && value > 0 && value <= 65535) ? static_cast<int>(value) : 0;
      }
      const uint32_t address = port ? GetHostIP(parts.host, true, nullptr) : INADDR_NONE;
      if (address != INADDR_NONE) s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      if (s != INVALID_SOCKET) {
        InitializeSocket(s);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = address;
        to.sin_port = htons(static_cast<u_short>(port));
        reply = static_cast<char*>(HeapAllocZ(kCheckReplySize + 1));
        HTTPStatus status;
        found = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0 &&
                HTTPSendGetRequest(&parts, s, reply, kCheckReplySize + 1) && ParseHTTPStatusLine(reply, &status) &&
                status.code == 200;
      }
    }
  } catch (...) {
    found = false;
  }
  if (reply) HeapFreeZ(reply);
  parts.Free();
  // The linger of InitializeSocket would hold the close for a server that
  // keeps the connection open; the answer is known, so close at once.
  if (s != INVALID_SOCKET) {
    linger none{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&none), sizeof(none));
    CloseSocketExt(&s);
  }
  return found;
}

int ReceiveHTTPMessage(SOCKET s, char** headers, char** body, int32_t* contentLength) {
  *headers = nullptr;
  *body = nullptr;
  *contentLength = 0;
  char* head = nullptr;
  char* content = nullptr;
  try {
    size_t capacity = kHTTPChunk;
    size_t held = 0;
    head = static_cast<char*>(HeapAllocZ(capacity + 1));
    char* end = nullptr;
    for (;;) {
      int amount = static_cast<int>(capacity - held);
      if (ReceiveBuffer(s, head + held, &amount, kSocketReturnFirstChunk | kSocketRetryWouldBlock) != 0) throw 0;
      held += static_cast<size_t>(amount);
      head[held] = '\0';
      // Only the new bytes and the three before them can complete the end.
      const size_t from = held - amount > 3 ? held - amount - 3 : 0;
      if ((end = std::strstr(head + from, kHeaderEnd))) break;
      if (std::memchr(head + held - amount, '\0', amount)) throw 0;  // not header text
      if (capacity >= kHTTPHeaderBlockMax) {
        ZEQLogPrintf("ReceiveHTTPMessage: Id: %d - header block over %u bytes", static_cast<int>(s),
                     static_cast<unsigned>(kHTTPHeaderBlockMax));
        throw 0;
      }
      capacity += kHTTPChunk;
      head = static_cast<char*>(HeapReAllocZ(head, capacity + 1));
    }
    char* bodyStart = end + 4;
    const size_t arrived = held - static_cast<size_t>(bodyStart - head);
    const char saved = *bodyStart;
    *bodyStart = '\0';
    int32_t length = 0;
    std::string whole(held + 1, '\0');
    if (GetHTTPHeaderValue("Content-Length", head, &whole[0], whole.size())) {
      // The value is read into 17 characters; one that does not fit there
      // or is no decimal number frames no body: refused, not guessed.
      char value[17];
      if (!GetHTTPHeaderValue("Content-Length", head, value, sizeof(value))) throw 0;
      const std::string line = std::string("Content-Length: ") + value + "\r\n";
      if (!GetHTTPContentLength(line.c_str(), &length)) throw 0;
    }
    *bodyStart = saved;
    if (length > 0) {
      content = static_cast<char*>(HeapAllocZ(static_cast<size_t>(length) + 1));
      const size_t taken = std::min<size_t>(arrived, static_cast<size_t>(length));
      std::memcpy(content, bodyStart, taken);
      if (taken < static_cast<size_t>(length)) {
        int missing = length - static_cast<int>(taken);
        if (ReceiveBuffer(s, content + taken, &missing, kSocketRetryTimedOut | kSocketRetryWouldBlock) != 0) throw 0;
      }
    }
    *bodyStart = '\0';
    *headers = head;
    *body = content;
    *contentLength = length;
    return 1;
  } catch (...) {
    if (head) HeapFreeZ(head);
    if (content) HeapFreeZ(content);
    return 0;
  }
}
