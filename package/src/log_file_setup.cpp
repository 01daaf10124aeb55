// The log's file calls over the file operations of this library, and its
// size limit from the definitions.
#include "package/log_file_setup.h"

#include "foundation/log_file.h"
#include "package/definitions_list.h"
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

int ReadLogMaxSize(DefinitionsList* definitions) {
  int found = 0;
  const char* value = definitions ? DefinitionGetValue(definitions, "log", "max size", nullptr, &found) : nullptr;
  if (!found) return 0;
  SetLogMaxSizeText(value ? value : "");
  return 1;
}
