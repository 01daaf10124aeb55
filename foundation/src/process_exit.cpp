// The immediate exit of the process.
#include "foundation/log.h"
#include "foundation/process_state.h"
#include "foundation/text.h"

void KESTOTerminate() {
  HANDLE mutex = ZEQSetInstanceMutex(nullptr);
  if (IsHandleSet(mutex)) CloseHandle(mutex);
  ZEQSetApplicationState(kZEQAppProcessEnding);
  ZEQGlobalLog()->Close();
  ExitProcess(ZEQGetExitCode());
}
