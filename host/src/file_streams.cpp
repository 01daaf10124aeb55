// Streams over open files for page script: a "ZEQHandle" object around a
// file handle (a system handle or a mounted file's record) owned by the
// calling container, and the reads, writes, seeks and closing on it.
#include <cstring>

#include "file_call.h"
#include "foundation/heap.h"
#include "foundation/result_codes.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "host/dispatch_ex.h"
#include "host/handle_table.h"
#include "package/paths.h"
#include "package/vfs.h"

namespace zeqfiles {
namespace {

// Access and sharing from the open mode bits.
constexpr int32_t kModeRead = 0x1;
constexpr int32_t kModeShareRead = 0x2;
constexpr int32_t kModeWrite = 0x4;
constexpr int32_t kModeShareWrite = 0x8;

// The file handle of a stream object, or null when the argument is none.
HANDLE StreamHandle(const VARIANT* value, ZEQHandleHolder* holder) {
  ZEQHandleFromVariant(holder, value);
  if (!holder->IsSet() || !ZEQHandleIsType(*holder, ZEQHANDLE_WINHANDLE)) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(holder->Get()->payload);
  return handle && handle != INVALID_HANDLE_VALUE ? handle : nullptr;
}

// A stream object for the handle, appended to the outcome; the handle is
// closed when no object can be made.
bool AppendStream(Outcome& outcome, HANDLE handle, uintptr_t owner, HWND window) {
  CZEQDispatchEx* object = ZEQHandle::Create(nullptr, owner, ZEQHANDLE_WINHANDLE, reinterpret_cast<uintptr_t>(handle),
                                             0, window);
  if (!object) {
    CloseHandleExt(&handle);
    return false;
  }
  outcome.Succeed();
  ZEQHandleObjectToScriptArray(object, outcome.Array());
  object->Release();
  return true;
}

// A new file, empty, for reading and writing.
HANDLE CreateEmpty(const char* path) {
  HANDLE file = CreateFileExt(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              kCreateFileRetry);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  SetFilePointerExt(file, FILE_BEGIN, 0);
  SetEndOfFileExt(file);
  return file;
}

HRESULT CreateStream(DISPID id, const Arguments& args, uintptr_t owner, HWND window, VARIANT* result) {
  Outcome outcome;
  char temporary[kZEQPathBufferSize] = {};
  HeapText path;
  HeapText contents;
  if (id == kCreateFSStreamByContents) {
    contents.reset(args.Text(0));
    if (!contents.get()) return outcome.Deliver(result);
  } else if (args.Count() > 0) {
    path.reset(args.Path(0));
    if (path.empty()) return outcome.Deliver(result);
  }
  const char* name = path.get();
  if (!name) {
    if (!GetTempFileName(temporary)) {
      outcome.Fail(GetLastError());
      return outcome.Deliver(result);
    }
    name = temporary;
  }
  HANDLE file = CreateEmpty(name);
  if (!file) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  if (contents.get()) {
    const DWORD length = DWORD(std::strlen(contents.get()));
    DWORD written = 0;
    if (length && (!WriteFileExt(file, contents.get(), length, &written) || written != length)) {
      outcome.Fail(GetLastError());
      CloseHandleExt(&file);
      DeleteFileA(name);
      return outcome.Deliver(result);
    }
  }
  if (AppendStream(outcome, file, owner, window) && id == kCreateFSStreamByContents) {
    outcome.Array()->AppendStringA(name);
  }
  return outcome.Deliver(result);
}

HRESULT OpenStream(const Arguments& args, uintptr_t owner, HWND window, VARIANT* result) {
  Outcome outcome;
  HeapText path(args.Path(0));
  if (path.empty()) return outcome.Deliver(result);
  const int32_t mode = args.Int(1);
  DWORD access = 0;
  DWORD share = 0;
  if (mode & kModeRead) access |= GENERIC_READ;
  if (mode & kModeWrite) access |= GENERIC_WRITE;
  if (mode & kModeShareRead) share |= FILE_SHARE_READ;
  if (mode & kModeShareWrite) share |= FILE_SHARE_WRITE;
  HANDLE file = CreateFileExt(path.get(), access, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  if (file == INVALID_HANDLE_VALUE) {
    outcome.Fail(GetLastError());
    return outcome.Deliver(result);
  }
  AppendStream(outcome, file, owner, window);
  return outcome.Deliver(result);
}

HRESULT ReadStream(HANDLE file, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  int32_t count = args.Int(1);
  if (count < 0) {
    const DWORD size = GetFileSizeExt(file);
    if (size == INVALID_FILE_SIZE) {
      outcome.Fail(GetLastError());
      return outcome.Deliver(result);
    }
    count = int32_t(size & 0x7FFFFFFF);
  } else {
    // No read gives more than the file holds: a huge count asks for no
    // huge buffer.
    const DWORD size = GetFileSizeExt(file);
    if (size != INVALID_FILE_SIZE && DWORD(count) > size) count = int32_t(size & 0x7FFFFFFF);
  }
  HeapText buffer(static_cast<char*>(HeapAllocZ(size_t(count) + 16)));
  DWORD read = 0;
  if (!ReadFileExt(file, DWORD(count), buffer.get(), &read)) {
    outcome.Fail(GetLastError());
  } else if (read == 0) {
    outcome.Array()->ResetToUInt(kOutOfRange);
  } else {
    outcome.Succeed();
    outcome.Array()->AppendStringA(buffer.get());
  }
  return outcome.Deliver(result);
}

HRESULT StreamStep(DISPID id, HANDLE file, const Arguments& args, VARIANT* result) {
  Outcome outcome;
  switch (id) {
    case kSetFSStreamPointer: {
      int32_t method = args.Int(2);
      if (method < 0 || method > 2) method = FILE_CURRENT;
      const DWORD position = SetFilePointerExt(file, DWORD(method), args.Int(1));
      if (position == INVALID_SET_FILE_POINTER) {
        outcome.Fail(GetLastError());
      } else {
        outcome.Succeed();
        outcome.Array()->AppendUInt(position);
      }
      break;
    }
    case kWriteFSStream: {
      HeapText text(args.Text(1));
      if (!text.get()) break;
      const DWORD length = DWORD(std::strlen(text.get()));
      DWORD written = 0;
      outcome.FromStep(WriteFileExt(file, text.get(), length, &written) && written == length);
      break;
    }
    case kSetEndOfFSStream:
      outcome.FromStep(SetEndOfFileExt(file) != FALSE);
      break;
    case kFlushFSStream:
      // A mounted file has nothing to flush.
      outcome.FromStep(IsVFSHandleRecord(file) || FlushFileBuffers(file));
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return outcome.Deliver(result);
}

}  // namespace

HRESULT InvokeStreamFunction(DISPID id, const Arguments& args, uintptr_t owner, HWND window, VARIANT* result) {
  switch (id) {
    case kCreateEmptyFSStream:
    case kCreateFSStreamByContents:
      return CreateStream(id, args, owner, window, result);
    case kOpenFSStream:
      return OpenStream(args, owner, window, result);
    case kCloseFSStream: {
      ZEQHandleHolder holder;
      if (!StreamHandle(args.At(0), &holder)) return DeliverCode(result, ZEQERROR_GENERALFAILURE);
      ZEQHandleTable::CloseHandle(true, holder);
      return DeliverCode(result, ZEQERROR_NOERROR);
    }
    case kSetFSStreamPointer:
    case kReadFSStream:
    case kWriteFSStream:
    case kSetEndOfFSStream:
    case kFlushFSStream: {
      ZEQHandleHolder holder;
      HANDLE file = StreamHandle(args.At(0), &holder);
      if (!file) {
        Outcome outcome;
        return outcome.Deliver(result);
      }
      return id == kReadFSStream ? ReadStream(file, args, result) : StreamStep(id, file, args, result);
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqfiles
