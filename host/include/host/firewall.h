// This program's own entry in the Windows Firewall's list of authorised
// applications, for the host object's firewall function.
#pragma once
#include <windows.h>

// Adds (add TRUE) or removes this program's exception under the name. Only
// the running executable itself is ever registered: a path that names any
// other program is refused (FALSE) before the firewall is asked. The
// firewall's own state and its port list are left alone. An empty name is
// refused when adding. TRUE when the firewall took the change (an entry
// already present and enabled counts as added).
BOOL AddFirewallException(const char* programPath, const char* name, BOOL add);
