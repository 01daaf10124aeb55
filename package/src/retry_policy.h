// The attempt loop shared by the retrying file wrappers and CreateFileExt.
#pragma once
#include <windows.h>

#include "package/file_retry.h"
#include "package/package_log.h"

namespace retry {

// The failure lines of one wrapper: "<name>: "<source>"[ to "<destination>"]
// - Failed ..." in the three shapes of the policy.
struct Lines {
  const char* name;
  const char* source;
  const char* destination = nullptr;  // two-path wrappers
  const char* stopTail = "";          // appended to the stop line

  void Stop(DWORD error) const {
    if (destination) {
      PackageLogPrintf("%s: \"%s\" to \"%s\" - Failed (%d)%s", name, source, destination, int(error), stopTail);
    } else {
      PackageLogPrintf("%s: \"%s\" - Failed (%d)%s", name, source, int(error), stopTail);
    }
  }
  void Retry(DWORD error) const {
    const int pause = int(GetFileRetryPause());
    if (destination) {
      PackageLogPrintf("%s: \"%s\" to \"%s\" - Failed (%d) - Retrying in %d ms", name, source, destination,
                       int(error), pause);
    } else {
      PackageLogPrintf("%s: \"%s\" - Failed (%d) - Retrying in %d ms", name, source, int(error), pause);
    }
  }
  void Final(DWORD error) const {
    if (destination) {
      PackageLogPrintf("%s: \"%s\" to \"%s\" - Failed - Error %d", name, source, destination, int(error));
    } else {
      PackageLogPrintf("%s: \"%s\" - Failed - Error %d", name, source, int(error));
    }
  }
};

inline bool IsNotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Runs attempt() until it succeeds. With retrying: up to kFileRetryAttempts,
// pausing before attempts 2 and later; a not-found error ends it with the
// stop line, any other failure logs the retry line (the last one too), and
// finalLine adds the final line after the last attempt. Without retrying:
// one attempt, and any failure logs the stop line. The last attempt's error
// is the last-error value on return.
template <typename Attempt>
bool Run(const Lines& lines, bool retrying, bool finalLine, Attempt attempt) {
  DWORD error = ERROR_SUCCESS;
  const int attempts = retrying ? kFileRetryAttempts : 1;
  for (int n = 1; n <= attempts; ++n) {
    if (n > 1) Sleep(GetFileRetryPause());
    if (attempt()) return true;
    error = GetLastError();
    if (!retrying || IsNotFound(error)) {
      lines.Stop(error);
      SetLastError(error);
      return false;
    }
    lines.Retry(error);
  }
  if (finalLine) lines.Final(error);
  SetLastError(error);
  return false;
}

}  // namespace retry
