// The system font that every new definitions list names in its default
// entries, chosen by Windows version.
#pragma once

struct SystemFontDefaults {
  const char* face;
  const char* height;
};

// "Segoe UI" and 12 from Vista on, "Tahoma" and 11 on 2000 and XP, "Arial"
// and 12 on older systems.
SystemFontDefaults ChooseSystemFontDefaults(bool vistaOrLater, bool xpOrLater);
// The choice for the running system (asked once per process).
SystemFontDefaults CurrentSystemFontDefaults();
