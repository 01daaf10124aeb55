// Process-wide lists made by static initialisation, before the main routine
// runs, and deleted at process exit.
#pragma once
#include "foundation/list.h"

// The mount list of the virtual file system: the package files mounted in
// memory, keyed by their normalised virtual path.
ZEQList* VFSMountList();
