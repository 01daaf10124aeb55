#include "host/plugin_record.h"

#include "foundation/heap.h"

ZEQPLUGIN* ZEQPluginConstruct(ZEQPLUGIN* record) {
  if (record) ZEQStampRecord(record, kZEQPluginTag, nullptr);
  return record;
}

ZEQPLUGIN* ZEQPluginNew() { return ZEQPluginConstruct(static_cast<ZEQPLUGIN*>(HeapAllocZ(sizeof(ZEQPLUGIN)))); }

ZEQPLUGIN* ZEQPlugInFree(ZEQPLUGIN* record) {
  if (record) {
    ZEQRetireRecord(record);
    HeapFreeZ(record);
  }
  return record;
}

bool IsPluginRecord(const void* record) { return IsTaggedRecord(record, sizeof(ZEQPLUGIN), kZEQPluginTag); }

void ZEQPluginClose(ZEQPLUGIN* record) {
  if (!IsPluginRecord(record)) return;
  if (record->module) {
    using Uninitialize = void(WINAPI*)();
    auto uninitialize = reinterpret_cast<Uninitialize>(
        reinterpret_cast<void*>(GetProcAddress(record->module, "ZEQPlugInUninitialize")));
    if (uninitialize) uninitialize();
    FreeLibrary(record->module);
    record->module = nullptr;
  }
  ZEQPlugInFree(record);
}
