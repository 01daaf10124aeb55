// Instance commands: the sender, the receiver and the instance identity.
#include "kesto/instance_commands.h"

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "foundation/log_file.h"
#include "foundation/process_state.h"
#include "foundation/profiler.h"
#include "foundation/registered_messages.h"
#include "foundation/script_calls.h"
#include "foundation/text.h"
#include "foundation/variant.h"
#include "foundation/waits.h"
#include "host/instance_names.h"
#include "kesto/startup.h"
#include "package/application_settings.h"
#include "package/file_retry.h"
#include "package/macros.h"
#include "windows/records.h"
#include "windows/window_utils.h"

namespace {

HANDLE identityMutex = nullptr;
char* identityText = nullptr;

// "Local\KESTO.<identity>" as a new heap text.
char* BlockName(const char* identity) { return HeapPrintf(0, "Local\\KESTO.%s", identity ? identity : ""); }

// The loader container's number and name, for the receiver's log lines.
void LoaderContainer(int32_t* id, const char** name) {
  static char nameCopy[260];
  *id = 0;
  nameCopy[0] = '\0';
  ZEQContainerHolder container = ZEQGetBaseContainer(ZEQLoaderHostWindow());
  if (container.IsSet()) {
    *id = container->id;
    if (container->name) StrCopyN(nameCopy, container->name, sizeof nameCopy);
  }
  *name = nameCopy;
}

void PutText(uint8_t* area, size_t offset, size_t size, const char* text) {
  char* field = reinterpret_cast<char*>(area + offset);
  std::memset(field, 0, size);
  if (text) StrCopyN(field, text, size);
}

void PutWord(uint8_t* area, size_t offset, uint32_t value) { std::memcpy(area + offset, &value, sizeof value); }

void WriteGetInfo(uint8_t* area) {
  const ApplicationSettings* settings = GetApplicationSettings();
  const StartupValues& start = Startup();
  char version[65];
  PutWord(area, kInfoApplicationId, static_cast<uint32_t>(settings->id));
  PutText(area, kInfoName, 1025, settings->name);
  PutText(area, kInfoVersion, 513, settings->version);
  PutText(area, kInfoVersionName, 514, GetApplicationVersionName());
  PutWord(area, kInfoPublisherId, static_cast<uint32_t>(settings->publisherId));
  PutWord(area, kInfoStartupMode, start.startupMode);
  uint32_t word = 0;
  if (start.applicationIdentity) std::memcpy(&word, start.applicationIdentity, sizeof word);
  PutWord(area, kInfoDescriptorWord, word);
  std::snprintf(version, sizeof version, "%u.%u.%u", kKESTOVersionMajor, kKESTOVersionMinor, kKESTOVersionBuild);
  PutText(area, kInfoHostVersion, 65, version);
  PutText(area, kInfoExecutablePath, 261, start.executableShortPath);
  std::snprintf(version, sizeof version, "%u.%u.%u", kZEQVersionMajor, kZEQVersionMinor, 0u);
  PutText(area, kInfoPlatformVersion, kInstanceGetInfoArea - kInfoPlatformVersion, version);
}

// The result word for a handler's answer: a boolean as 0 or 1, anything
// else as an integer.
LONG ResultWord(const VARIANT& answer) {
  if (V_VT(&answer) == VT_BOOL) return V_BOOL(&answer) ? 1 : 0;
  VARIANT number;
  VariantInit(&number);
  LONG value = 0;
  if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&answer), 0, VT_I4))) value = V_I4(&number);
  VariantClear(&number);
  return value;
}

// The message area's text as a BSTR, read no further than the area.
BSTR AreaText(const uint8_t* area, size_t areaSize) {
  const char* text = reinterpret_cast<const char*>(area);
  const size_t length = strnlen(text, areaSize);
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  if (result && wide) MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), result, wide);
  return result;
}

// Checks the loader's window record and container, logging the failure
// lines of the command kind.
bool LoaderReady(int32_t id, const char* name, const char* kind, int32_t ibc) {
  HWND loader = ZEQLoaderHostWindow();
  ZEQWindowHolder record = ZEQGetWindowParam(GetParentWindowExt(loader));
  if (!record.IsSet()) record = ZEQGetWindowParam(loader);
  if (!record.IsSet()) {
    ZEQLogPrintf("KESTOInstanceReceiveCommand: [FAILED] Id: %d, KESTOID: \"%s\" - %s - Invalid Container - Target IBC: %d...",
                 id, name, kind, ibc);
    return false;
  }
  if (!ZEQGetBaseContainer(loader).IsSet()) {
    ZEQLogPrintf("KESTOInstanceReceiveCommand: [FAILED] Id: %d, KESTOID: \"%s\" - %s - Invalid State - Target IBC: %d...",
                 id, name, kind, ibc);
    return false;
  }
  return true;
}

void ServeInstanceMessage(uint8_t* area, size_t areaSize, InstanceCommandHeader* header, const char* name, int32_t ibc) {
  ZEQLogPrintf("KESTOInstanceReceiveCommand: [COMMAND] KESTOID: \"%s\" - KESTOMC_KESTOINSTANCEMSG - Target IBC: %d...",
               name, ibc);
  if (!LoaderReady(KESTOMC_KESTOINSTANCEMSG, name, "KESTOMC_KESTOINSTANCEMSG", ibc)) return;
  VARIANT argument;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = AreaText(area, areaSize);
  VARIANT answer;
  VariantInit(&answer);
  ZEQDeliverAPC(ZEQLoaderHostWindow(), L"ZEQOnKESTOInstanceMsg", nullptr, nullptr, &argument, &answer,
                kZEQApcNoContainerArgument, nullptr, 0, nullptr);
  VariantClear(&argument);
  header->result = ResultWord(answer);
  VariantClear(&answer);
}

void ServeUserCommand(int32_t id, uint8_t* area, size_t areaSize, InstanceCommandHeader* header, const char* name,
                      int32_t ibc) {
  ZEQLogPrintf("KESTOInstanceReceiveCommand: [COMMAND] Id: %d, KESTOID: \"%s\" - USER - Target IBC: %d...", id, name,
               ibc);
  if (!LoaderReady(id, name, "USER", ibc)) return;
  SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  if (!list) return;
  LONG index = 0;
  VARIANT element;
  V_VT(&element) = VT_UI4;
  V_UI4(&element) = static_cast<ULONG>(id);
  SafeArrayPutElement(list, &index, &element);
  index = 1;
  V_VT(&element) = VT_BSTR;
  V_BSTR(&element) = AreaText(area, areaSize);
  SafeArrayPutElement(list, &index, &element);
  VariantClear(&element);
  VARIANT arguments;
  V_VT(&arguments) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&arguments) = list;
  VARIANT answer;
  VariantInit(&answer);
  ZEQDeliverAPC(ZEQLoaderHostWindow(), L"ZEQOnKESTOMessage", nullptr, nullptr, &arguments, &answer,
                kZEQApcArgumentList | kZEQApcNoContainerArgument, nullptr, 0, nullptr);
  VariantClear(&arguments);
  const size_t clear = areaSize < kInstanceUserArea ? areaSize : kInstanceUserArea;
  std::memset(area, 0, clear);
  if (V_VT(&answer) == VT_BSTR) {
    const BSTR text = V_BSTR(&answer);
    // Conversion stops at the area: the reply never passes the block.
    if (text && clear > 1) {
      int written = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(SysStringLen(text)),
                                        reinterpret_cast<char*>(area), static_cast<int>(clear - 1), nullptr, nullptr);
      if (written == 0 && SysStringLen(text) > 0) {
        // Too long for the area: convert what fits, character by character.
        size_t used = 0;
        for (UINT i = 0; i < SysStringLen(text); ++i) {
          char bytes[8];
          const int n = WideCharToMultiByte(CP_ACP, 0, &text[i], 1, bytes, sizeof bytes, nullptr, nullptr);
          if (n <= 0 || used + static_cast<size_t>(n) > clear - 1) break;
          std::memcpy(area + used, bytes, static_cast<size_t>(n));
          used += static_cast<size_t>(n);
        }
      }
    }
    header->result = 0;
  } else {
    header->result = ResultWord(answer);
  }
  VariantClear(&answer);
}

}  // namespace

InstanceCommandHeader* KESTOInstanceSendCommand(const char* identity, int length, HWND target, int32_t id,
                                                char* message, DWORD timeout, uint32_t flags) {
  char* name = BlockName(identity);
  const char* shown = message ? message : "";
  if (!EnterSendCommandSection()) {
    ZEQLogPrintf("KESTOInstanceSendCommand: [FAILED] - Concurrent call - KESTOID: \"%s\" - Id: %d, Msg: \"%s\"", name,
                 id, shown);
    HeapFreeZ(name);
    return nullptr;
  }
  const size_t n = length >= 0 ? static_cast<size_t>(length) : (message ? std::strlen(message) : 0);
  ZEQLogPrintf("KESTOInstanceSendCommand: [ENTER] KESTOID: \"%s\" - Id: %d, Msg: \"%s\"", name, id, shown);
  auto* header = static_cast<InstanceCommandHeader*>(HeapAllocZ(sizeof(InstanceCommandHeader)));
  bool done = false;
  HANDLE mapping = CreateFileMappingExt(name, static_cast<DWORD>(n + kInstanceHeaderSize + 1));
  if (!IsHandleSet(mapping)) {
    ZEQLogPrintf("KESTOInstanceSendCommand: [FAILED] CreateFileMapping failed, KESTOID: \"%s\" - LastError: %d", name,
                 int(GetLastError()));
  } else {
    auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) {
      ZEQLogPrintf("KESTOInstanceSendCommand: [FAILED] MapViewOfFile failed, KESTOID: \"%s\" - LastError: %d", name,
                   int(GetLastError()));
    } else {
      header->versionMajor = kKESTOVersionMajor;
      header->versionRelease = kKESTOVersionMinor;
      header->versionBuild = kKESTOVersionBuild;
      header->window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ZEQLoaderHostWindow()));
      std::memcpy(view, header, sizeof *header);
      if (n && message) std::memcpy(view + kInstanceHeaderSize, message, n);
      auto* shared = reinterpret_cast<InstanceCommandHeader*>(view);
      ZEQLogPrintf("KESTOInstanceSendCommand: [SEND] KESTOID: \"%s\" - Id: %d, Msg: \"%s\"", name, id, shown);
      if (!SendNotifyMessageA(target, CMSG_KESTONOTIFY, n + kInstanceHeaderSize + 1, static_cast<LPARAM>(id))) {
        ZEQLogPrintf("KESTOInstanceSendCommand: [FAILED] SendNotifyMessage failed, KESTOID: \"%s\" - LastError: %d",
                     name, int(GetLastError()));
      } else {
        if (flags & kInstanceSendWait) {
          const uint32_t start = GetTickCount();
          while (static_cast<uint32_t>(InterlockedCompareExchange(&shared->state, 0, 0)) != KESTOMR_STATE_DONE) {
            if (TicksSince(start) > timeout) break;
            SleepPumpMessages(10);
          }
        } else {
          InterlockedExchange(&shared->state, KESTOMR_STATE_DONE);
        }
        if (static_cast<uint32_t>(InterlockedCompareExchange(&shared->state, 0, 0)) == KESTOMR_STATE_DONE) {
          std::memcpy(header, view, sizeof *header);
          if (n && message) std::memcpy(message, view + kInstanceHeaderSize, n);
          done = true;
          ZEQLogPrintf("KESTOInstanceSendCommand: [OK] KESTOID: \"%s\" - Target KESTO Returned: %d", name,
                       int(header->result));
        } else {
          ZEQLogPrintf("KESTOInstanceSendCommand: [FAILED] KESTOID: \"%s\" - Return State is not KESTOMR_STATE_DONE - "
                       "LastError: %d",
                       name, int(GetLastError()));
        }
      }
      UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
  }
  LeaveSendCommandSection();
  HeapFreeZ(name);
  if (done) return header;
  HeapFreeZ(header);
  return nullptr;
}

void KESTOInstanceReceiveCommand(WPARAM blockSize, LPARAM lParam) {
  const int32_t id = static_cast<int32_t>(lParam);
  HWND loader = ZEQLoaderHostWindow();
  if (!IsWindow(loader) || !identityText) return;
  char* name = BlockName(identityText);
  int32_t ibc = 0;
  const char* ibcName = "";
  LoaderContainer(&ibc, &ibcName);
  ZEQLogPrintf("KESTOInstanceReceiveCommand: [ENTER] KESTOID: \"%s\" - Target IBC: %d (\"%s\")...", name, ibc, ibcName);
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (!mapping) {
    ZEQLogPrintf("KESTOInstanceReceiveCommand: [FAILED] Error: %d, Id: %d, KESTOID: \"%s\" - PRE 1.4.5 Message - Target "
                 "IBC: %d...",
                 int(GetLastError()), id, name, ibc);
    SAFEARRAY* list = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    if (list) {
      LONG index = 0;
      VARIANT element;
      V_VT(&element) = VT_UI4;
      V_UI4(&element) = static_cast<ULONG>(id);
      SafeArrayPutElement(list, &index, &element);
      index = 1;
      V_VT(&element) = VT_BSTR;
      V_BSTR(&element) = SysAllocString(L"");
      SafeArrayPutElement(list, &index, &element);
      VariantClear(&element);
      VARIANT arguments;
      V_VT(&arguments) = VT_ARRAY | VT_VARIANT;
      V_ARRAY(&arguments) = list;
      ZEQDeliverAPC(loader, L"ZEQOnKESTOMessage", nullptr, nullptr, &arguments, nullptr,
                    kZEQApcCoalesce | kZEQApcArgumentList | kZEQApcNoContainerArgument, nullptr, 0, nullptr);
      VariantClear(&arguments);
    }
    HeapFreeZ(name);
    return;
  }
  // The view must hold the header; mapping more than the block holds fails,
  // so a view of blockSize bytes proves the block is at least that large.
  uint8_t* view = blockSize >= kInstanceHeaderSize
                      ? static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, blockSize))
                      : nullptr;
  if (!view) {
    ZEQLogPrintf("KESTOInstanceReceiveCommand: [FAILED] Id: %d, KESTOID: \"%s\" - Invalid argument - Target IBC: %d...",
                 id, name, ibc);
    CloseHandle(mapping);
    HeapFreeZ(name);
    return;
  }
  auto* header = reinterpret_cast<InstanceCommandHeader*>(view);
  uint8_t* area = view + kInstanceHeaderSize;
  const size_t areaSize = blockSize - kInstanceHeaderSize;
  InterlockedExchange(&header->state, kInstanceStateWorking);
  InterlockedExchange(&header->result, kInstanceResultFailure);
  if (id == kInstanceCommandGetInfo) {
    ZEQLogPrintf("KESTOInstanceReceiveCommand: [COMMAND] KESTOID: \"%s\" - GETINFO - Target IBC: %d...", name, ibc);
    if (areaSize < kInstanceGetInfoArea) {
      ZEQLogPrintf("KESTOInstanceReceiveCommand: [FAILED] Id: %d, KESTOID: \"%s\" - GETINFO - Block of %u bytes "
                   "cannot hold the record - Target IBC: %d...",
                   id, name, unsigned(blockSize), ibc);
    } else {
      WriteGetInfo(area);
      header->result = 0;
    }
  } else if (id == KESTOMC_KESTOINSTANCEMSG) {
    ServeInstanceMessage(area, areaSize, header, name, ibc);
  } else if (id >= 0) {
    ServeUserCommand(id, area, areaSize, header, name, ibc);
  }
  InterlockedExchange(&header->state, KESTOMR_STATE_DONE);
  ZEQLogPrintf("KESTOInstanceReceiveCommand: [LEAVE] Id: %d, KESTOID: \"%s\" - Return Code: %d - Target IBC: %d...", id,
               name, int(header->result), ibc);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  HeapFreeZ(name);
}

int CreateInstanceIdentity(const char* name) {
  char* title = FormatMainWindowTitle(name);
  if (identityMutex) {
    HeapFreeZ(title);
    return 2;
  }
  HANDLE mutex = CreateMutexA(nullptr, TRUE, title);
  if (!mutex) {
    ZEQLogPrintf("KESTOCreateId: [FAILED] - KESTOID: \"%s\", Error: %d", title, int(GetLastError()));
    HeapFreeZ(title);
    return 2;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    ZEQLogPrintf("KESTOCreateId: [ALREADY EXISTE] - KESTOID: \"%s\"", title);
    HeapFreeZ(title);
    return 105;
  }
  identityMutex = mutex;
  ZEQSetInstanceMutex(mutex);
  SetWindowTextA(Startup().mainWindow, title);
  identityText = title;
  ZEQLogPrintf("KESTOCreateId: [OK] - KESTOID: \"%s\"", title);
  return 0;
}

int CloseInstanceIdentity() {
  if (!identityMutex) return 2;
  ZEQLogPrintf("KESTOCloseId: [CLOSED] - KESTOID: \"%s\"", identityText);
  SetWindowTextA(Startup().mainWindow, kMainWindowClassName);
  ZEQSetInstanceMutex(nullptr);
  CloseHandle(identityMutex);
  identityMutex = nullptr;
  HeapFreeZ(identityText);
  identityText = nullptr;
  return 0;
}

const char* InstanceIdentityText() { return identityText ? identityText : ""; }
