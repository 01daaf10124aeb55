// The product's entry.
#include <windows.h>

#include "foundation/log.h"
#include "kesto/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  try {
    return ApplicationMain(commandLine);
  } catch (...) {
    ZEQLogPrintf("!WinMain: Unexpected exception...");
    return -1;
  }
}
