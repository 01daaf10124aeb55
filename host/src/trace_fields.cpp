// Named values from a text of comma-separated key=value fields.
#include <cstdlib>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/return_data.h"

namespace {

// Longest key or value kept; a longer field is cut.
constexpr size_t kFieldMax = 2048;

void CopyField(char* buffer, const char* start, const char* end) {
  size_t length = static_cast<size_t>(end - start);
  if (length > kFieldMax) length = kFieldMax;
  memcpy(buffer, start, length);
  buffer[length] = 0;
}

}  // namespace

int ParseTraceFields(const char* text, CZEQDispatchEx* object) {
  if (!text || !object) return 1;
  const char* end = text + strlen(text);
  const char* position = text;
  char key[kFieldMax + 1];
  char value[kFieldMax + 1];
  while (position < end) {
    while (*position == ' ' || *position == '\t') ++position;
    const char* equals = StrFindOutsideQuotes("=", position, true, true);
    if (!equals) break;
    CopyField(key, position, equals);
    TrimBlanks(key);
    const char* comma = StrFindOutsideQuotes(",", equals + 1, true, true);
    const char* valueEnd = comma ? comma : end;
    CopyField(value, equals + 1, valueEnd);
    TrimAndUnquote(value);
    position = comma ? comma + 1 : end;
    if (strcmp(key, "ResultCode") == 0) {
      ZEQReturnData::SetUInt(object, L"ResultCode", static_cast<uint32_t>(strtoul(value, nullptr, 16)));
    } else if (strcmp(key, "HRCounter") == 0) {
      const char* digits = value;
      while (*digits && (*digits < '0' || *digits > '9')) ++digits;
      ZEQReturnData::SetInt(object, L"HRCounter", atoi(digits));
    } else {
      wchar_t* name = AnsiToWideDup(key, 0);
      try {
        ZEQReturnData::SetStringA(object, name, value);
      } catch (...) {
        HeapFreeZ(name);
        throw;
      }
      HeapFreeZ(name);
    }
  }
  return 1;
}
