#include "package/definitions_defaults.h"

#include "package/system_queries.h"

SystemFontDefaults ChooseSystemFontDefaults(bool vistaOrLater, bool xpOrLater) {
  if (vistaOrLater) return {"Segoe UI", "12"};
  if (xpOrLater) return {"Tahoma", "11"};
  return {"Arial", "12"};
}

SystemFontDefaults CurrentSystemFontDefaults() {
  // The version does not change while the process runs.
  static const SystemFontDefaults fonts =
      ChooseSystemFontDefaults(IsWindowsVistaOrLater() != FALSE, IsWindowsXPOrLater() != FALSE);
  return fonts;
}
