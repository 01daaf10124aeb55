// Shared between the mount list and the handle operations.
#pragma once
#include "package/vfs.h"

// The data of the path's mounted file with one reference taken (the caller
// releases it), or NULL when the path is not mounted.
VFSMountedData* VFSAcquireData(const char* path);
// Drops one reference; the last one frees the block.
void VFSReleaseData(VFSMountedData* data);
