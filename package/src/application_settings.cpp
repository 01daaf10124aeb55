#include "package/application_settings.h"

namespace {

ApplicationSettings MakeInitialSettings() {
  ApplicationSettings settings{};
  settings.maxPerContainerUsage = kAppMaxPerContainerUsageDefault;
  settings.recycleInterval = kAppRecycleIntervalDefault;
  return settings;
}

}  // namespace

// Made on first use, so a reader running during static initialisation
// already sees the defaults.
ApplicationSettings* GetApplicationSettings() {
  static ApplicationSettings settings = MakeInitialSettings();
  return &settings;
}
