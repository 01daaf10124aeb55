// The application package at start and end, and the orderly end of the run.
#pragma once
#include "package/package.h"

// Mounts the opened application package at start-up; false (logged) when
// it cannot be mounted, which stops the start.
bool MountApplicationPackageAtStart(ZEQPackageDATA* package);
// Whether the loader document may be loaded: an empty path, a path inside
// the mounted package or a mounted file; otherwise an existing file whose
// first 624 bytes pass the package source policy.
bool IsLoaderDocumentAllowed(const char* path);
// After the main loop: the "zeq" scheme revoked, the application package
// closed and released, OLE uninitialised.
void ReleaseApplicationPackage();

// The user interface's teardown after the main loop: application state 4;
// the program's window classes unregistered; the main window destroyed (on
// its own thread, else by posting CMSG_DESTROYWND); sockets cleaned up; the
// timer thread stopped and joined (bounded) before the dynamically bound
// system functions are freed, so no timer walks freed code or lists; the
// timer resolution restored; OLE uninitialised.
void ZEQFinalizeUI();
