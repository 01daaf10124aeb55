// The files a reader has open on this thread, innermost first: the guard of
// the definitions and template readers against import cycles. Each reader
// keeps its own stack (its own Tag type).
#pragma once
#include "ascii_text.h"

// The path an import names, taking over the heap text `path`: loader-relative
// forms expanded, a path still relative taken from the folder of the
// importing file, blanks trimmed. Returns the (possibly new) heap text.
char* ResolveImportedPath(char* path, const char* importer);

template <typename Tag>
class OpenFileScope {
 public:
  // Pushes a file (its normalised path) for the length of its read.
  explicit OpenFileScope(const char* normalized)
      : normalized_(normalized), outer_(innermost_), depth_(innermost_ ? innermost_->depth_ + 1 : 1) {
    innermost_ = this;
  }
  ~OpenFileScope() { innermost_ = outer_; }
  OpenFileScope(const OpenFileScope&) = delete;
  OpenFileScope& operator=(const OpenFileScope&) = delete;

  // True when the file (paths compared ignoring case) is open on this thread.
  static bool IsBeingRead(const char* normalized) {
    for (const OpenFileScope* file = innermost_; file; file = file->outer_)
      if (ascii::EqualsNoCase(file->normalized_, normalized)) return true;
    return false;
  }
  // How many files are open on this thread.
  static int Depth() { return innermost_ ? innermost_->depth_ : 0; }

 private:
  const char* normalized_;
  const OpenFileScope* outer_;
  int depth_;
  static thread_local const OpenFileScope* innermost_;
};

template <typename Tag>
thread_local const OpenFileScope<Tag>* OpenFileScope<Tag>::innermost_ = nullptr;
