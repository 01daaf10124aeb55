// Replay of trace files ("<<\" record "/>>") into a function of the debug
// page, one result object per record.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/result_codes.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/debug_output.h"
#include "host/return_data.h"
#include "package/vfs.h"

namespace {

constexpr char kOpen[] = "<<\\";
constexpr char kClose[] = "/>>";
constexpr size_t kMaxRecord = 65536;
constexpr int kDebugPageItem = 2000;

// The window of the page that receives the records.
HWND DebugPageWindow(HWND container) {
  HWND top = GetAncestor(container, GA_ROOT);
  HWND item = top ? GetDlgItem(top, kDebugPageItem) : nullptr;
  return item ? item : container;
}

// Header, contents and trailer of one record's text (LF line ends, a final
// LF). false when the text has fewer than two line breaks.
bool SplitRecord(char* text, char** header, char** contents, char** trailer) {
  char* first = std::strchr(text, '\n');
  char* last = text + std::strlen(text) - 1;
  if (!first || first == last) return false;  // header and trailer on one line
  char* beforeLast = last - 1;
  while (*beforeLast != '\n') --beforeLast;  // stops at first at the latest
  *first = 0;
  *last = 0;
  *header = text;
  *trailer = beforeLast + 1;
  if (beforeLast == first) {
    *contents = first;  // no content lines: the NUL written over the first LF
  } else {
    *beforeLast = 0;
    *contents = first + 1;
  }
  return true;
}

void RemoveCarriageReturns(char* text) {
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (in[0] == '\r' && in[1] == '\n') continue;
    *out++ = *in;
  }
  *out = 0;
}

bool HasValue(CZEQDispatchEx* object, const wchar_t* name) {
  DISPID id;
  return ZEQLookupMember(object, name, &id) == S_OK;
}

}  // namespace

BOOL ZEQDebugTraceDeliver(HWND containerWindow, const char* path, const wchar_t* functionName) {
  void* data = nullptr;
  DWORD size = 0;
  if (!path || !ReadWholeFileExt(path, &data, &size) || !data) return FALSE;
  char* file = static_cast<char*>(data);
  size_t fileSize = size;
  int count = 0;
  try {
    TextBufferToAnsi(&file, &fileSize);
    HWND target = DebugPageWindow(containerWindow);
    const char* position = file;
    for (;;) {
      const char* open = std::strstr(position, kOpen);
      if (!open) break;
      const char* start = open + std::strlen(kOpen);
      const char* close = std::strstr(start, kClose);
      if (!close) break;
      ++count;
      const auto length = static_cast<size_t>(close - start);
      if (length > kMaxRecord) {
        count = 0;
        break;
      }
      position = close + std::strlen(kClose);
      // The record with the closing mark's '/' turned into the line feed
      // that ends the trailer line.
      char* text = static_cast<char*>(HeapAllocZ(length + 2));
      std::memcpy(text, start, length);
      text[length] = '\n';
      RemoveCarriageReturns(text);
      char *header, *contents, *trailer;
      if (!SplitRecord(text, &header, &contents, &trailer)) {
        HeapFreeZ(text);
        continue;
      }
      CZEQDispatchEx* record = ZEQReturn::Create(containerWindow, 1, 1, 0, 4);
      uint32_t code = 0;
      if (record) {
        try {
          ZEQReturnData::SetStringA(record, L"Contents", contents);
          ParseTraceFields(header, record);
          ParseTraceFields(trailer, record);
          if (HasValue(record, L"Type") && HasValue(record, L"Id") && functionName && functionName[0]) {
            VARIANT argument;
            VariantInitDispatch(&argument, static_cast<IDispatchEx*>(record));
            code = ZEQDeliverAPC(target, functionName, nullptr, nullptr, &argument, nullptr, kZEQApcResultCoded,
                                 nullptr, 0, nullptr);
            VariantClear(&argument);
          }
        } catch (...) {
          record->Release();
          HeapFreeZ(text);
          throw;
        }
        record->Release();
      }
      HeapFreeZ(text);
      if (code == ZEQACTION_CANCEL) break;
    }
  } catch (...) {
    ZEQLogUnexpected("ZEQDebugTraceDeliver");
  }
  HeapFreeZ(file);
  return count > 0 ? TRUE : FALSE;
}
