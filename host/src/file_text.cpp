// Text files for page script: a whole file read and converted by its
// encoding flags, and a text (or an array of byte values) written in the
// encoding asked for, with a byte-order mark on request.
#include <cstring>
#include <string>
#include <vector>

#include "file_call.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "package/file_trees.h"
#include "package/vfs.h"

namespace zeqfiles {
namespace {

constexpr uint32_t kEncodingAnsi = 0x1;
constexpr uint32_t kEncodingUtf8 = 0x2;
constexpr uint32_t kEncodingUtf16 = 0x4;
constexpr uint32_t kEncodingRaw = 0x8 | 0x10 | 0x20;
constexpr uint32_t kEncodingWithMark = 0x80000000u;

HRESULT ReadTextFile(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText path(args.Path(0));
  const uint32_t flags = args.Flags(1);
  if (path.empty()) return outcome.Deliver(result);
  void* data = nullptr;
  DWORD read = 0;
  if (!ReadWholeFileExt(path.get(), &data, &read)) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  char* buffer = static_cast<char*>(data);
  size_t size = read;
  uint32_t code = 0;
  try {
    code = ConvertTextBuffer(flags, &buffer, &size);
  } catch (...) {
    HeapFreeZ(buffer);
    throw;
  }
  HeapText owned(buffer);
  outcome.Succeed();
  // The same precedence as the conversion: only the UTF-16 route gives wide
  // text.
  if ((flags & kEncodingUtf16) && !(flags & (kEncodingAnsi | kEncodingUtf8 | 0x8))) {
    const auto* wide = reinterpret_cast<const wchar_t*>(buffer);
    outcome.Array()->AppendStringW(std::wstring(wide, size / sizeof(wchar_t)).c_str());
  } else {
    outcome.Array()->AppendStringA(std::string(buffer, size).c_str());
  }
  outcome.Array()->AppendUInt(code);
  return outcome.Deliver(result);
}

// The low byte of each element of an array of variants.
std::string ArrayBytes(SAFEARRAY* array) {
  std::string bytes;
  LONG lower = 0;
  LONG upper = -1;
  if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return bytes;
  }
  for (LONG i = lower; i <= upper; ++i) {
    VARIANT element;
    VariantInit(&element);
    if (SUCCEEDED(SafeArrayGetElement(array, &i, &element))) bytes.push_back(char(VariantToInt(&element) & 0xFF));
    VariantClear(&element);
  }
  return bytes;
}

// The bytes to write for a text in the encoding of the flags; false for the
// encodings that write nothing.
bool EncodeText(const VARIANT* value, uint32_t flags, std::string* bytes) {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(value), 0, VT_BSTR))) return false;
  const wchar_t* wide = V_BSTR(&text) ? V_BSTR(&text) : L"";
  bool ok = true;
  char* made = nullptr;
  size_t length = 0;
  try {
    if ((flags & kEncodingAnsi) || !(flags & (kEncodingUtf8 | kEncodingUtf16 | kEncodingRaw))) {
      made = WideToAnsiDupLen(wide, &length, 0);
    } else if (flags & kEncodingUtf8) {
      if (flags & kEncodingWithMark) bytes->append("\xEF\xBB\xBF");
      made = WideToUtf8DupLen(wide, &length, 0);
    } else if (flags & kEncodingUtf16) {
      if (flags & kEncodingWithMark) bytes->append("\xFF\xFE");
      bytes->append(reinterpret_cast<const char*>(wide), std::wcslen(wide) * sizeof(wchar_t));
    } else {
      ok = false;
    }
    if (made) bytes->append(made, length);
  } catch (...) {
    HeapFreeZ(made);
    VariantClear(&text);
    throw;
  }
  HeapFreeZ(made);
  VariantClear(&text);
  return ok;
}

HRESULT WriteTextFile(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText path(args.Path(0));
  const VARIANT* value = args.At(1);
  const uint32_t flags = args.Flags(2);
  if (path.empty() || !value) return outcome.Deliver(result);
  // The bytes are made before the file is opened: an encoding that writes
  // nothing must not truncate what the file held.
  std::string bytes;
  if (V_VT(value) == (VT_ARRAY | VT_VARIANT) || V_VT(value) == (VT_BYREF | VT_ARRAY | VT_VARIANT)) {
    bytes = ArrayBytes(VariantGetSafeArray(value));
  } else if (!EncodeText(value, flags, &bytes)) {
    return outcome.Deliver(result);
  }
  HANDLE file = CreateFileExt(path.get(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, kCreateFileRetry);
  if (file == INVALID_HANDLE_VALUE) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFileExt(file, bytes.data(), DWORD(bytes.size()), &written) &&
                                    written == bytes.size());
  outcome.FromStep(ok);
  CloseHandleExt(&file);
  return outcome.Deliver(result);
}

}  // namespace

HRESULT InvokeTextFunction(DISPID id, const Arguments& args, VARIANT* result) {
  switch (id) {
    case kReadTextFile:
      return ReadTextFile(args, result);
    case kWriteTextFile:
      return WriteTextFile(args, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqfiles
