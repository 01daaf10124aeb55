// The list of running processes, through psapi or toolhelp bound at run
// time.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "package/system_queries.h"

namespace {

constexpr DWORD kMaxProcessIds = 0x4000 / sizeof(DWORD);

template <typename F>
bool Bind(HMODULE module, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *slot != nullptr;
}

void Append(struct ProcessEnumeration* list, DWORD processId, const char* path) {
  if (list->count == list->capacity) {
    const uint32_t capacity = list->capacity ? list->capacity * 2 : 64;
    list->entries = static_cast<ProcessEntry*>(list->entries ? HeapReAllocZ(list->entries, capacity * sizeof(ProcessEntry))
                                                             : HeapAllocZ(capacity * sizeof(ProcessEntry)));
    list->capacity = capacity;
  }
  ProcessEntry& entry = list->entries[list->count++];
  entry.processId = processId;
  StrCopyN(entry.path, path, MAX_PATH);
}

uint32_t EnumProcessesByPsapi(ProcessEnumContext* context, struct ProcessEnumeration* list) {
  DWORD* ids = HeapAllocArray<DWORD>(kMaxProcessIds);
  DWORD bytes = 0;
  if (!context->enumProcesses(ids, kMaxProcessIds * sizeof(DWORD), &bytes)) {
    HeapFreeZ(ids);
    return kProcessEnumNoList;
  }
  uint32_t status = kProcessEnumOk;
  try {
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
      HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
      if (!process) continue;
      char path[MAX_PATH + 1] = "";
      context->getModuleFileNameExA(process, nullptr, path, MAX_PATH);
      CloseHandle(process);
      Append(list, ids[i], path);
    }
  } catch (...) {
    status = kProcessEnumNoMemory;
  }
  HeapFreeZ(ids);
  return status;
}

uint32_t EnumProcessesByToolhelp(ProcessEnumContext* context, struct ProcessEnumeration* list) {
  HANDLE snapshot = context->createToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return kProcessEnumNoList;
  list->count = 0;
  uint32_t status = kProcessEnumOk;
  PROCESSENTRY32 entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  try {
    for (BOOL more = context->process32First(snapshot, &entry); more; more = context->process32Next(snapshot, &entry)) {
      Append(list, entry.th32ProcessID, entry.szExeFile);
    }
  } catch (...) {
    status = kProcessEnumNoMemory;
  }
  CloseHandle(snapshot);
  return status;
}

}  // namespace

BOOL BindPsapiFunctions(ProcessEnumContext* context) {
  HMODULE module = LoadLibraryA("psapi.dll");
  if (!module) return FALSE;
  if (!Bind(module, "GetModuleFileNameExA", &context->getModuleFileNameExA) ||
      !Bind(module, "EnumProcessModules", &context->enumProcessModules) ||
      !Bind(module, "EnumProcesses", &context->enumProcesses) ||
      !Bind(module, "GetModuleInformation", &context->getModuleInformation)) {
    FreeLibrary(module);
    context->status = kProcessEnumMissingEntry;
    return FALSE;
  }
  context->psapi = module;
  context->psapiReady = 1;
  return TRUE;
}

BOOL BindToolhelpFunctions(ProcessEnumContext* context) {
  HMODULE module = LoadLibraryA("kernel32.dll");
  if (!module) return FALSE;
  if (!Bind(module, "CreateToolhelp32Snapshot", &context->createToolhelp32Snapshot) ||
      !Bind(module, "Process32First", &context->process32First) ||
      !Bind(module, "Process32Next", &context->process32Next) ||
      !Bind(module, "Module32First", &context->module32First) ||
      !Bind(module, "Module32Next", &context->module32Next)) {
    FreeLibrary(module);
    context->status = kProcessEnumMissingEntry;
    return FALSE;
  }
  context->kernel32 = module;
  context->toolhelpReady = 1;
  return TRUE;
}

BOOL ProcessEnumRefresh(ProcessEnumContext* context) {
  if (!context) return FALSE;
  const BOOL bound = IsWindowsXPOrLater() ? BindPsapiFunctions(context) : BindToolhelpFunctions(context);
  context->status = bound ? kProcessEnumOk : kProcessEnumNoLibrary;
  return bound;
}

struct ProcessEnumeration* ProcessEnumeration(ProcessEnumContext* context) {
  if (!context) return nullptr;
  struct ProcessEnumeration* list = nullptr;
  try {
    list = HeapAllocArray<struct ProcessEnumeration>(1);
  } catch (...) {
    context->status = kProcessEnumNoMemory;
    return nullptr;
  }
  if (context->psapiReady) {
    context->status = EnumProcessesByPsapi(context, list);
  } else if (context->toolhelpReady) {
    context->status = EnumProcessesByToolhelp(context, list);
  } else {
    context->status = kProcessEnumNoList;
  }
  return list;
}

BOOL ProcessEnumNext(ProcessEnumContext* context, struct ProcessEnumeration* list, ProcessEntry* entry) {
  if (!context || !list || !entry) return FALSE;
  if (list->position > list->count) {
    context->status = kProcessEnumPastEnd;
    return FALSE;
  }
  if (list->position == list->count) {
    context->status = kProcessEnumEnd;
    return FALSE;
  }
  *entry = list->entries[list->position++];
  context->status = kProcessEnumOk;
  return TRUE;
}

void ProcessEnumerationFree(struct ProcessEnumeration* list) {
  if (!list) return;
  HeapFreeZ(list->entries);
  HeapFreeZ(list);
}

void ProcessEnumFreeLibraries(ProcessEnumContext* context) {
  if (!context) return;
  if (context->psapi) FreeLibrary(context->psapi);
  if (context->kernel32) FreeLibrary(context->kernel32);
  const uint32_t status = context->status;
  std::memset(context, 0, sizeof *context);
  context->status = status;
}
