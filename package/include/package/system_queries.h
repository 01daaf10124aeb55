// Questions to Windows about itself, and settings of the running process,
// asked on behalf of page script: version tests, running processes, the
// account that owns the process and whether it is an administrator, a
// machine identifier, special folders, the process's PATH and bitmaps
// written to files. Nothing here keeps state between calls except a
// process-enumeration context, which its caller owns.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Windows version tests: FALSE unless the platform is NT. The first three
// are alike (TRUE from 6.0 on); callers test them in the order 8, 7, Vista,
// XP and give the first three the same outcome. A null version reads the
// running system's (GetVersionExA).
BOOL IsWindows8OrLater(const OSVERSIONINFOA* version = nullptr);
BOOL IsWindows7OrLater(const OSVERSIONINFOA* version = nullptr);
BOOL IsWindowsVistaOrLater(const OSVERSIONINFOA* version = nullptr);
BOOL IsWindowsXPOrLater(const OSVERSIONINFOA* version = nullptr);  // from 5.0 on

// ---------------------------------------------------------------------------
// Running processes.

// Status of the last operation on a context.
constexpr uint32_t kProcessEnumOk = 0;
constexpr uint32_t kProcessEnumNoLibrary = 1;     // no set of entry points could be bound
constexpr uint32_t kProcessEnumMissingEntry = 2;  // a library lacks one of its entry points
constexpr uint32_t kProcessEnumNoMemory = 3;
constexpr uint32_t kProcessEnumNoList = 4;        // the process list could not be taken
constexpr uint32_t kProcessEnumEnd = 5;           // no more entries
constexpr uint32_t kProcessEnumPastEnd = 6;       // read position past the end

// Owned by its caller and zeroed before use; bound by ProcessEnumRefresh,
// released by ProcessEnumFreeLibraries.
struct ProcessEnumContext {
  DWORD(WINAPI* getModuleFileNameExA)(HANDLE, HMODULE, LPSTR, DWORD);
  BOOL(WINAPI* enumProcessModules)(HANDLE, HMODULE*, DWORD, LPDWORD);
  BOOL(WINAPI* enumProcesses)(DWORD*, DWORD, DWORD*);
  BOOL(WINAPI* getModuleInformation)(HANDLE, HMODULE, void*, DWORD);
  HANDLE(WINAPI* createToolhelp32Snapshot)(DWORD, DWORD);
  BOOL(WINAPI* process32First)(HANDLE, PROCESSENTRY32*);
  BOOL(WINAPI* process32Next)(HANDLE, PROCESSENTRY32*);
  BOOL(WINAPI* module32First)(HANDLE, MODULEENTRY32*);
  BOOL(WINAPI* module32Next)(HANDLE, MODULEENTRY32*);
  HMODULE psapi;
  HMODULE kernel32;
  uint8_t psapiReady;
  uint8_t toolhelpReady;
  uint32_t status;
};

// A process: its id and its module path (psapi) or executable name
// (toolhelp); the path is empty when it could not be read.
struct ProcessEntry {
  DWORD processId;
  char path[MAX_PATH + 1];
};

// One listing, read entry by entry with ProcessEnumNext.
struct ProcessEnumeration {
  uint32_t position;
  uint32_t count;
  uint32_t capacity;
  ProcessEntry* entries;
};

// Binds psapi (on XP and later) or else toolhelp; TRUE when one set of entry
// points is bound (status 0), else status 1.
BOOL ProcessEnumRefresh(ProcessEnumContext* context);
// Bind one set of entry points; a missing one frees its library and sets
// status 2.
BOOL BindPsapiFunctions(ProcessEnumContext* context);
BOOL BindToolhelpFunctions(ProcessEnumContext* context);
// A new listing of every running process (status 0; 4 with an empty list
// when the list could not be taken); null with status 3 when it cannot be
// allocated. psapi lists the processes it can open, with their module paths.
struct ProcessEnumeration* ProcessEnumeration(ProcessEnumContext* context);
// TRUE and the next entry (status 0); FALSE with status 5 at the end, 6
// past it.
BOOL ProcessEnumNext(ProcessEnumContext* context, struct ProcessEnumeration* list, ProcessEntry* entry);
void ProcessEnumerationFree(struct ProcessEnumeration* list);
// Frees the libraries bound into the context and clears their entry points.
void ProcessEnumFreeLibraries(ProcessEnumContext* context);

// ---------------------------------------------------------------------------
// The account.

// Name and domain of the account that owns the process (each cut to its
// buffer's size); TRUE when both were found.
BOOL GetProcessOwnerAccount(char* name, size_t nameSize, char* domain, size_t domainSize);
// TRUE when the process token is a member of the local Administrators group.
BOOL IsUserAdministrator();

// ---------------------------------------------------------------------------
// Machine identifier.

constexpr size_t kAdapterAddressHexLength = 16;
constexpr size_t kMachineIdentifierLength = kAdapterAddressHexLength + 1 + 8;
// The first network adapter's address (all 8 bytes of its address field) as
// 16 hex digits into out[17]; sixteen '0' and FALSE when the adapter list
// cannot be read.
BOOL GetAdapterAddressHex(char* out);
// "<adapter address hex>.<serial of the Windows volume, %08X>" into
// out[kMachineIdentifierLength + 1]; always TRUE.
BOOL GetMachineIdentifier(char* out);

// ---------------------------------------------------------------------------
// Paths and folders.

// Adds the folder of the file path to the process's PATH, or removes it, as
// a whole ';'-separated entry (folders compared without regard to case).
// Adding does nothing when an entry already names the folder. Always TRUE.
BOOL UpdatePathEnvironment(const char* filePath, BOOL add);

// Special-folder kinds.
constexpr int kFolderProgramFiles = 1;
constexpr int kFolderCommonFiles = 2;
constexpr int kFolderAppData = 3;
constexpr int kFolderCommonAppData = 4;
constexpr int kFolderLocalAppData = 5;
constexpr int kFolderLocalSettings = 6;
constexpr int kFolderDesktop = 7;
constexpr int kFolderCommonDesktop = 8;
constexpr int kFolderStartMenu = 9;
constexpr int kFolderCommonStartMenu = 10;
constexpr int kFolderPrograms = 11;
constexpr int kFolderCommonPrograms = 12;
constexpr int kFolderTemp = 13;
constexpr int kFolderTempAlias = 14;
constexpr int kFolderVirtualStore = 15;
constexpr int kFolderDocuments = 16;
constexpr int kFolderCommonDocuments = 17;
constexpr int kFolderMusic = 18;
constexpr int kFolderCommonMusic = 19;
constexpr int kFolderVideos = 20;
constexpr int kFolderCommonVideos = 21;
constexpr int kFolderPictures = 22;
constexpr int kFolderCommonPictures = 23;
constexpr int kFolderWindows = 255;
constexpr int kFolderSystem = 256;
// The folder of the kind into out[MAX_PATH + 1] (emptied first): from the
// shell, else from the registry, in short (8.3) form; the temporary folder
// without its trailing backslash. Non-zero when a path was produced.
BOOL GetSpecialFolderPath(int kind, char* out);

// ---------------------------------------------------------------------------
// Bitmap files.

// The header a bitmap is written with comes from the window layer's
// CreateBitmapInfoForBitmap (windows/window_helpers.h).
// Writes the bitmap as a .bmp file (created anew); TRUE when written.
BOOL SaveBitmapToFile(HBITMAP bitmap, const char* path);
BOOL WriteBitmapFile(const char* path, BITMAPINFO* info, HBITMAP bitmap);
