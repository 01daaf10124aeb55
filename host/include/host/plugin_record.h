// The record of a loaded plug-in library. The host object loads the
// library, fills the record and wraps it as a handle of type 10; closing
// that handle calls the library's optional "ZEQPlugInUninitialize" (no
// arguments), unloads the library and frees the record.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/records.h"

constexpr char kZEQPluginTag[] = "+ZEQPLUGIN";
constexpr size_t kZEQPluginPathSize = 264;

struct ZEQPLUGIN {
  ZEQTypedRecord header;        // "+ZEQPLUGIN", serial 0
  ZEQPLUGIN* self;              // set once the library is loaded and looked up
  char path[kZEQPluginPathSize];
  HMODULE module;
  FARPROC initialize;           // "ZEQPlugInInitialize"
  uintptr_t reserved;           // stays 0
  FARPROC getIDsOfNames;        // "ZEQInterfaceGetIDsOfNames"
  FARPROC invoke;               // "ZEQInterfaceInvoke"
};

// Constructor in place: the tag with serial 0.
ZEQPLUGIN* ZEQPluginConstruct(ZEQPLUGIN* record);
// A new zero-filled, constructed record on the process heap.
ZEQPLUGIN* ZEQPluginNew();
// Frees the record (the loader gave up on the library); returns the pointer
// it was given.
ZEQPLUGIN* ZEQPlugInFree(ZEQPLUGIN* record);
// Memory check over the record's size, then the tag.
bool IsPluginRecord(const void* record);
// The close action of a plug-in handle: "ZEQPlugInUninitialize" when the
// library has it, FreeLibrary, then the record is freed. Nothing for a
// pointer that is no plug-in record.
void ZEQPluginClose(ZEQPLUGIN* record);
