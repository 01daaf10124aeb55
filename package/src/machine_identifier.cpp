// A machine identifier made of the first network adapter's address and the
// serial number of the Windows volume.
#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstring>

#include "foundation/heap.h"
#include "package/system_queries.h"

BOOL GetAdapterAddressHex(char* out) {
  if (!out) return FALSE;
  std::memset(out, '0', kAdapterAddressHexLength);
  out[kAdapterAddressHexLength] = '\0';
  ULONG size = sizeof(IP_ADAPTER_INFO);
  auto* adapters = static_cast<IP_ADAPTER_INFO*>(HeapAllocZ(size));
  DWORD result = GetAdaptersInfo(adapters, &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    HeapFreeZ(adapters);
    adapters = static_cast<IP_ADAPTER_INFO*>(HeapAllocZ(size));
    result = GetAdaptersInfo(adapters, &size);
  }
  if (result == NO_ERROR) {
    const BYTE* a = adapters->Address;
    std::snprintf(out, kAdapterAddressHexLength + 1, "%02X%02X%02X%02X%02X%02X%02X%02X", a[0], a[1], a[2], a[3], a[4],
                  a[5], a[6], a[7]);
  }
  HeapFreeZ(adapters);
  return result == NO_ERROR;
}

BOOL GetMachineIdentifier(char* out) {
  if (!out) return FALSE;
  char root[MAX_PATH + 1] = "";
  GetWindowsDirectoryA(root, MAX_PATH);
  root[3] = '\0';
  DWORD serial = 0;
  GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  char adapter[kAdapterAddressHexLength + 1];
  GetAdapterAddressHex(adapter);
  std::snprintf(out, kMachineIdentifierLength + 1, "%s.%08lX", adapter, static_cast<unsigned long>(serial));
  return TRUE;
}
