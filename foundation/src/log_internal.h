// Shared by the log's sources.
#pragma once
#include <windows.h>

#include <cstddef>

struct ZEQLog;

// Scoped hold of a log's lock; leaves it when an exception unwinds.
class ZEQLogLock {
 public:
  explicit ZEQLogLock(ZEQLog* log);
  ~ZEQLogLock();
  ZEQLogLock(const ZEQLogLock&) = delete;
  ZEQLogLock& operator=(const ZEQLogLock&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};

// Bytes by which indentation (7 blanks after every line feed) and the
// enciphering of its spans can at most lengthen a text.
size_t LogLineGrowth(const char* text);
// Every line feed of text gets 7 blanks after it; end is the end of the
// text's buffer (one past its last usable byte).
void IndentContinuationLines(char* text, const char* end);
// Replaces the content of every enciphered span of text by its cipher text.
void EncipherLogSpans(char* text, const char* end);
