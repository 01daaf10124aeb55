// The host object's members that act on the process itself, served in its
// application-methods table: the instance identity, the exit code and the
// immediate end. The rest of that table belongs to the application
// methods; until they join, these answer there and every other DISPID
// passes on (DISP_E_MEMBERNOTFOUND).
#pragma once

// Members and answers:
//   KESTOCreateID(name)    [0] made, [105] held by another process, [2] failed
//   KESTOCloseID()         0 closed, 2 when none is held
//   KESTOSetExitCode(code) 0
//   KESTOExit(code)        ends the process at once with that exit code
// Registers the table; before the first container is made.
void InstallProcessMembers();
