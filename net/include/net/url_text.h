// URL and HTTP header texts: splitting a URL, completing a typed address,
// reading an HTTP status line, its Content-Length and any header value.
// Pure: no socket, no platform call; every output is bounded.
#pragma once
#include <cstddef>
#include <cstdint>

// A parsed URL: seven zero-filled heap texts owned by the record. A part
// longer than its capacity is cut to it.
struct URLComponents {
  static constexpr size_t kSchemeSize = 32;
  static constexpr size_t kSlashesSize = 32;
  static constexpr size_t kUserSize = 513;
  static constexpr size_t kHostSize = 2049;
  static constexpr size_t kPortSize = 32;
  static constexpr size_t kPathSize = 2049;
  static constexpr size_t kQuerySize = 2049;

  char* scheme = nullptr;   // "http:", "https:", "ftp:", "file:", "news:", "mailto:", "mms:" or empty
  char* slashes = nullptr;  // one "/" per separator after the scheme (at most two)
  char* user = nullptr;     // up to and including "@"
  char* host = nullptr;
  char* port = nullptr;     // without the colon
  char* path = nullptr;     // from the first separator after host or port
  char* query = nullptr;    // from "?"

  // Frees the fields that are set; the record can be parsed into again.
  void Free();
};

// Fills components from text (a leading "zeq:" is skipped). 0 only when the
// text is null or memory ran out (the fields are then freed); else 1. The
// caller frees the record in every case.
int ParseURL(const char* text, URLComponents* components);

// Completes a typed address into out (kTypedURLSize characters with its
// terminator; a longer result is cut). With flags bit 2 set, Control adds
// "www." in front and ".com" behind a bare name, Shift "www." and ".br"
// (".com" becomes ".com.br"); an empty scheme becomes "http://". The key
// states are the caller's; 0 when the text cannot be parsed.
constexpr size_t kTypedURLSize = 260;
int AdjustTypedURLWithKeys(char* out, const char* text, int flags, bool controlDown, bool shiftDown);

// HTTP status line ("HTTP/<version> <code>"), with the Content-Length of the
// header block (0 when absent).
struct HTTPStatus {
  char version[20];
  int32_t code;
  int32_t contentLength;
};
int ParseHTTPStatusLine(const char* text, HTTPStatus* status);
int IsHTTPStatusLine(const char* text);

// The value of the first well-formed Content-Length header: decimal digits
// only, at most 2^31 - 1. 1 when found.
int GetHTTPContentLength(const char* text, int32_t* length);

// Copies the value of the first header called name (at the start of a
// line, any case, blanks before and after the colon skipped, ended by CR
// LF) into value, which holds valueSize characters with its terminator.
// 1 when found and it fits whole; else 0 with value empty.
int GetHTTPHeaderValue(const char* name, const char* headers, char* value, size_t valueSize);
