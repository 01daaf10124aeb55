#include "package/definitions_defaults.h"

SystemFontDefaults ChooseSystemFontDefaults(bool vistaOrLater, bool xpOrLater) {
  if (vistaOrLater) return {"Segoe UI", "12"};
  if (xpOrLater) return {"Tahoma", "11"};
  return {"Arial", "12"};
}

SystemFontDefaults CurrentSystemFontDefaults() { return ChooseSystemFontDefaults(true, true); }
