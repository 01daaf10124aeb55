// Number, duration, size and time texts, percentages and the seeded random
// number.
#include <shlwapi.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "foundation/text.h"

static int ClampSize(size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

BOOL FormatDuration(int seconds, char* buffer, size_t size) {
  if (!buffer || !size) return FALSE;
  buffer[0] = '\0';
  const int parts[3] = {seconds / 3600, seconds % 3600 / 60, seconds % 60};
  static const char* const kUnits[3] = {"hr", "min", "seg"};
  size_t used = 0;
  for (int i = 0; i < 3; ++i) {
    if (parts[i] == 0) continue;
    int n = snprintf(buffer + used, size - used, "%s%02d %s", used ? " " : "", parts[i], kUnits[i]);
    if (n < 0) break;
    used += size_t(n);
    if (used >= size) {
      used = size - 1;
      break;
    }
  }
  return used != 0;
}

void FormatNumberGrouped(double value, char* buffer, size_t size) {
  if (!buffer || !size) return;
  buffer[0] = '\0';
  char number[400];  // "%f" of the largest double
  snprintf(number, sizeof(number), "%f", value);
  char decimal[] = ",";
  char thousands[] = ".";
  NUMBERFMTA format = {};
  format.NumDigits = 0;
  // With no decimals the leading zero is the whole text of a value below 1.
  format.LeadingZero = 1;
  format.Grouping = 3;
  format.lpDecimalSep = decimal;
  format.lpThousandSep = thousands;
  format.NegativeOrder = 1;
  if (!GetNumberFormatA(1033, 0, number, &format, buffer, ClampSize(size))) buffer[0] = '\0';
}

void FormatByteSize(LONGLONG value, char* buffer, size_t size) {
  if (!buffer || !size) return;
  buffer[0] = '\0';
  if (!StrFormatByteSize64A(value, buffer, static_cast<UINT>(ClampSize(size)))) buffer[0] = '\0';
}

int PercentRatio(int64_t value, int64_t total) {
  if (value == 0 || total == 0) return 0;
  long double ratio = static_cast<long double>(value) * 100 / total;
  if (ratio < 0) return 0;
  return ratio >= INT_MAX ? INT_MAX : static_cast<int>(ratio);
}

int PercentOf(int percent, int base) {
  if (base == 0) return 0;
  int64_t share = int64_t(base) * percent / 100;
  if (share < 0) return 0;
  return share > INT_MAX ? INT_MAX : static_cast<int>(share);
}

void FormatFileTime(char* buffer, size_t size, const FILETIME* time, bool toLocal) {
  if (!buffer || !size) return;
  snprintf(buffer, size, "00/00/0000 00:00:00");
  if (!time) return;
  // An unset time is 0 or 1 January 1800.
  if (time->dwLowDateTime == 0 && time->dwHighDateTime == 0) return;
  if (time->dwLowDateTime == 0xD6534000 && time->dwHighDateTime == 0x00DF1A8C) return;
  FILETIME shown = *time;
  if (toLocal && !FileTimeToLocalFileTime(time, &shown)) return;
  SYSTEMTIME parts;
  if (!FileTimeToSystemTime(&shown, &parts)) return;
  snprintf(buffer, size, "%02d/%02d/%04d %02d:%02d:%02d", parts.wDay, parts.wMonth, parts.wYear,
           parts.wHour, parts.wMinute, parts.wSecond);
}

static int64_t FileTimeUnits(const SYSTEMTIME* time) {
  FILETIME file = {};
  SystemTimeToFileTime(time, &file);
  return int64_t((uint64_t(file.dwHighDateTime) << 32) | file.dwLowDateTime);
}

double SystemTimeDiffMs(const SYSTEMTIME* earlier, const SYSTEMTIME* later) {
  if (!earlier || !later) return 0;
  return double(FileTimeUnits(later) - FileTimeUnits(earlier)) / 10000.0;
}

// Hash step over a text, its characters taken as signed bytes.
static uint32_t HashText(uint32_t h, const char* text) {
  for (; text && *text; ++text) h = (h + uint32_t(int32_t(static_cast<signed char>(*text)))) * 31 + 1;
  return h;
}

uint32_t MakeRandomNumber(const char* seed) {
  char ticks[16];
  snprintf(ticks, sizeof(ticks), "%d", static_cast<int>(GetTickCount()));
  uint32_t h = HashText(HashText(0, ticks), seed);
  uint32_t r = GetCurrentProcessId() + h * 31 + 1;
  srand(r);
  if (r & 0xFFFF0000u) {
    uint32_t rounds = 0;
    do {
      r = uint32_t(rand()) * uint32_t(rand());
      ++rounds;
    } while (rounds < (r >> 16));
  }
  return r;
}
