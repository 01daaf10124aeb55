// The host object the loader page reaches as window.external while the
// full host object is not part of this build: the few members the process
// itself needs (its identity, its exit code, its end), each doing its real
// work. Installed through the browser containers' host object factory.
#pragma once

// Members and their answers (plain numbers):
//   KESTOCreateID(name)    0 made, 105 held by another process, 2 failed
//   KESTOCloseID()         0 closed, 2 when none is held
//   KESTOSetExitCode(code) 0
//   KESTOExit(code)        ends the process at once with that exit code
void InstallInterimHostObject();
