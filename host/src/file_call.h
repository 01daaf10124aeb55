// The pieces every file-system script function shares: its arguments in the
// order script writes them, path and text arguments as heap texts that free
// themselves, and the result array that starts as a general failure.
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/heap.h"
#include "host/js_array.h"

namespace zeqfiles {

// The result code of a read at the end of a stream.
constexpr uint32_t kOutOfRange = 107;

enum FileFunction : DISPID {
  kCreateEmptyFSStream = 31200,
  kCreateFSStreamByContents = 31300,
  kOpenFSStream = 31201,
  kCloseFSStream = 31202,
  kSetFSStreamPointer = 31203,
  kReadFSStream = 31204,
  kWriteFSStream = 31205,
  kSetEndOfFSStream = 31206,
  kGetFSInfo = 31207,
  kEnumFSChildren = 31208,
  kFlushFSStream = 31209,
  kIsFSFile = 34020,
  kIsFSDirectory = 34021,
  kCreateDirectory = 34000,
  kCreateParentDirectory = 34022,
  kDeleteDirectory = 34001,
  kCopyDirectory = 34002,
  kMoveDirectory = 34003,
  kValidateFSPathName = 5413,
  kValidateFSFileName = 5414,
  kDeleteFSFile = 5415,
  kCopyFSFile = 5416,
  kMoveFSFile = 5417,
  kIsSameFSFullPath = 5418,
  kGetFSTemporaryFileName = 5419,
  kGetFSTemporaryFolderName = 5420,
  kSetFSAttributes = 5421,
  kGetFSAttributes = 5422,
  kCheckFSFileAccess = 5423,
  kGetFileByAge = 1078,
  kReadTextFile = 1073,
  kWriteTextFile = 1074,
  kVolDevToVolDrv = 1307,
  kPathCanonicalize = 1308,
  kEncryptFile = 4504,
  kDecryptFile = 4505,
  kConvertFileToBase64 = 4506,
  kConvertFileFromBase64 = 4507,
  kCreateShortcut = 34010,
  kGetShortcutInfo = 34011,
};

// A process-heap text (or any heap block) freed with its holder.
class HeapText {
 public:
  HeapText() = default;
  explicit HeapText(char* text) : text_(text) {}
  ~HeapText() { HeapFreeZ(text_); }
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  char* get() const { return text_; }
  bool empty() const { return !text_ || !*text_; }
  const char* c_str() const { return text_ ? text_ : ""; }
  void reset(char* text) {
    HeapFreeZ(text_);
    text_ = text;
  }

 private:
  char* text_ = nullptr;
};

// The arguments of one call. Index 0 is the first one written in script.
class Arguments {
 public:
  explicit Arguments(const DISPPARAMS* params) : params_(params) {}
  UINT Count() const { return params_ ? params_->cArgs : 0; }
  const VARIANT* At(UINT index) const;
  // An expanded, normalised path; null when the argument is absent or holds
  // no text.
  char* Path(UINT index) const;
  // A text as it is (ANSI); null when absent or not a text.
  char* Text(UINT index) const;
  // An integer; fallback when the argument is absent.
  int32_t Int(UINT index, int32_t fallback = 0) const;
  // Flag words: script numbers up to 0xFFFFFFFF keep their high bit.
  uint32_t Flags(UINT index) const;

 private:
  const DISPPARAMS* params_;
};

// The result array: [2] until Succeed() resets it to [0]; Fail appends the
// system error. Written into the result VARIANT by Deliver.
class Outcome {
 public:
  Outcome();
  ~Outcome();
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;

  JSArray* Array() { return array_; }
  void Succeed();
  // [2, error] (error 0 is still appended: the step failed).
  void Fail(DWORD error);
  // [0] or [2, last error] by the step's result.
  void FromStep(bool ok);
  HRESULT Deliver(VARIANT* result);

 private:
  JSArray* array_;
};

// An integer result (the validation, test and close functions).
HRESULT DeliverCode(VARIANT* result, int32_t code);

// The file functions' groups; each answers DISP_E_MEMBERNOTFOUND for an id
// that is not its own.
HRESULT InvokeStreamFunction(DISPID id, const Arguments& args, uintptr_t owner, HWND window, VARIANT* result);
HRESULT InvokeQueryFunction(DISPID id, const Arguments& args, VARIANT* result);
HRESULT InvokeTextFunction(DISPID id, const Arguments& args, VARIANT* result);
HRESULT InvokeCipherFunction(DISPID id, const Arguments& args, VARIANT* result);
HRESULT InvokeShortcutFunction(DISPID id, const Arguments& args, VARIANT* result);

}  // namespace zeqfiles
