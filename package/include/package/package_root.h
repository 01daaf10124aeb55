// The process-wide path values of the application package: the virtual root
// folder under which the package is mounted, and the package root prefix
// that the loader adjustment sets (the paths inside the package begin with
// it). Start-up writes them before other threads exist; later they are read
// from any thread.
#pragma once
#include <windows.h>

#include <cstddef>

// The process's virtual root buffer (MAX_PATH + 1 bytes), empty until
// start-up fills it with GetVirtualRootFolder.
char* VirtualRootBuffer();

// Sets the package root prefix (NULL or "" empties it; a prefix longer than
// MAX_PATH characters is cut).
void SetPackageRoot(const char* prefix);
// The package root prefix; "" while none is set.
const char* GetPackageRoot();
// The part of the path after the package root, or NULL when the root is
// empty or the path (read after a leading "zeq:" of any case) does not
// begin with it (compared ignoring case over the root's length).
const char* GetPackageRelativePath(const char* path);
