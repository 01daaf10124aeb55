// The log's file calls over the file operations of this library.
#include "package/log_file_calls.h"

#include "foundation/log_file.h"
#include "package/file_retry.h"
#include "package/vfs.h"

namespace {

HANDLE OpenLogFile(const char* path) {
  CreateParentDirectory(path);
  return CreateFileExt(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
}

}  // namespace

void InstallLogFileCalls() {
  const ZEQLogFileCalls calls = {OpenLogFile, CloseHandleExt};
  ZEQLogSetFileCalls(&calls);
}
