// The process-wide application settings: what the application's start-up and
// loader definitions say about the container process itself. The container
// host's readers write them (at start-up and each time the loader is
// adjusted); every subsystem reads them. Plain data without a lock: the
// readers run before the values are used elsewhere.
//
// Each text is a fixed buffer of its limit plus the terminator; a longer
// definitions value is cut to the limit.
#pragma once
#include <cstddef>
#include <cstdint>

// Limits in characters (the buffers hold one more byte).
constexpr size_t kAppLoaderMax = 4096;
constexpr size_t kAppNameMax = 1024;
constexpr size_t kAppVersionMax = 512;
constexpr size_t kAppIconMax = 1024;
constexpr size_t kAppAudioLayerMax = 260;
constexpr size_t kAppPublisherNameMax = 1024;
constexpr size_t kAppPublisherAliasMax = 512;
constexpr size_t kAppPublisherDescriptionMax = 8192;
constexpr size_t kAppLogNameMax = 260;
constexpr size_t kAppScriptPathMax = 260;

// Defaults of the memory keys.
constexpr int32_t kAppMaxPerContainerUsageDefault = 0x8000;
constexpr int32_t kAppRecycleIntervalDefault = -1;

struct ApplicationSettings {
  // Application definitions, section "application" (texts read as UTF-8
  // and kept in the ANSI code page, except the audio layer).
  char loader[kAppLoaderMax + 1];
  char name[kAppNameMax + 1];
  char version[kAppVersionMax + 1];
  int32_t id;
  int32_t platformId;  // "id.platform"
  int32_t imageId;     // "id.image"
  char icon[kAppIconMax + 1];
  char audioLayer[kAppAudioLayerMax + 1];
  char publisherName[kAppPublisherNameMax + 1];
  char publisherAlias[kAppPublisherAliasMax + 1];
  int32_t publisherId;
  char publisherDescription[kAppPublisherDescriptionMax + 1];
  // Section "vfs": files of the application package may be reached raw.
  int32_t enableRawAccess;
  // Section "memory" (kept as they are when the definitions have no such
  // section).
  int32_t memoryManagement;  // "enable management"
  int32_t maxPerContainerUsage;
  int32_t recycleInterval;

  // Start-up definitions. The arguments text is a process-heap text owned
  // here (null until start-up sets it); a new one replaces and frees it.
  char* arguments;
  char logName[kAppLogNameMax + 1];
  int32_t logEnable;
  int32_t logIgnoreErrors;
  // Section "kesto": resolved and normalised paths.
  char debugScript[kAppScriptPathMax + 1];
  char releaseScript[kAppScriptPathMax + 1];
  char coreScript[kAppScriptPathMax + 1];
};

// The one instance of the process.
ApplicationSettings* GetApplicationSettings();
