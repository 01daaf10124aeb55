// The end of browser hosting and the orderly end of the run.
#pragma once

// After the main loop: the "zeq" scheme revoked, the application package
// closed and released, OLE uninitialised.
void ReleaseBrowserHostAndPackage();

// The user interface's teardown after the main loop: application state 4;
// the program's window classes unregistered; the main window destroyed (on
// its own thread, else by posting CMSG_DESTROYWND); sockets cleaned up; the
// timer thread stopped and joined (bounded) before the dynamically bound
// system functions are freed, so no timer walks freed code or lists; the
// timer resolution restored; OLE uninitialised.
void ZEQFinalizeUI();
