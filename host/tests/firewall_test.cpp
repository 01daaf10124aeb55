// The firewall exception: only the running program itself is ever
// registered; anything else is refused before the firewall is asked, and
// the answers for this program follow what the firewall service says (under
// Wine there is none to change).
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>

#include "host/firewall.h"

namespace {

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

TEST(Firewall, OnlyThisProgramsOwnExceptionIsAskedFor) {
  const std::string own = OwnPath();
  struct Case {
    const char* name;
    std::string path;
    const char* label;
    BOOL add;
  };
  const Case refused[] = {
      {"another program", "C:\\windows\\system32\\notepad.exe", "notepad", TRUE},
      {"another program removed", "C:\\windows\\system32\\notepad.exe", "notepad", FALSE},
      {"no path", "", "name", TRUE},
      {"own program without a name", own, "", TRUE},
  };
  for (const Case& c : refused) EXPECT_FALSE(AddFirewallException(c.path.c_str(), c.label, c.add)) << c.name;
  EXPECT_FALSE(AddFirewallException(nullptr, "name", TRUE));
}

}  // namespace
