// HTTP over plain sockets and the platform's URL services: escaping blanks,
// completing a typed address with the keyboard's state, an HTTP/1.0
// existence test of a URL, and receiving one whole HTTP message.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "net/url_text.h"

// Escapes the blanks of text in place; capacity is the buffer's size in
// characters. 0 (text unchanged) when the escaped text does not fit.
int UrlEscapeInPlace(char* text, size_t capacity);
// The escaped text in a new heap block (HeapFreeZ), or null.
char* UrlEscapeToHeap(const char* text);

// AdjustTypedURLWithKeys with the Control and Shift keys as they are now.
int AdjustTypedURL(char* out, const char* text, int flags);

// True when an HTTP/1.0 GET of the URL is answered with status 200.
bool HTTPCheckURL(const char* url);
// Sends the GET of HTTPCheckURL on a connected socket and reads the reply's
// header block into reply (replySize characters with the terminator).
int HTTPSendGetRequest(URLComponents* components, SOCKET s, char* reply, size_t replySize);

// Largest header block ReceiveHTTPMessage takes: a peer that sends more
// without an empty line is refused instead of filling memory.
constexpr size_t kHTTPHeaderBlockMax = 64 * 1024;
// Receives one HTTP message: on success 1, a new header text (ending with
// its empty line), a new body (null without Content-Length or when it is
// 0) and the Content-Length; the caller frees both with HeapFreeZ. On
// failure 0 and all three outputs zero.
int ReceiveHTTPMessage(SOCKET s, char** headers, char** body, int32_t* contentLength);
