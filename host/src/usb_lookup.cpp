// The USB device behind a drive letter, through the storage, setup and USB
// hub requests of the system.
#include "host/usb_lookup.h"

// clang-format off
#include <winioctl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <usbioctl.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "host/browser_settings.h"
#include "package/vfs.h"

namespace {

constexpr GUID kDiskInterface = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
constexpr char kHubInterfaceSuffix[] = "#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr DWORD kDescriptorRequestSize = 4096;
constexpr size_t kDescriptorCopy = 20;

using GetParentProc = CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG);
using GetDeviceIdProc = CONFIGRET(WINAPI*)(DEVINST, PSTR, ULONG, ULONG);

// A device handle closed with its holder.
class Device {
 public:
  Device(const char* path, DWORD access, DWORD share)
      : handle_(CreateFileExt(path, access, share, OPEN_EXISTING, 0, 0)) {}
  ~Device() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandleExt(&handle_);
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
  // The request with the buffer as input and output; the answer's size.
  bool Ask(DWORD code, void* buffer, DWORD size, DWORD* answered) {
    *answered = 0;
    return DeviceIoControl(handle_, code, buffer, size, buffer, size, answered, nullptr) != FALSE;
  }

 private:
  HANDLE handle_;
};

// A device information set destroyed with its holder.
class DeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}
  ~DeviceSet() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;
  bool Valid() const { return set_ != INVALID_HANDLE_VALUE; }
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

void CopyText(char* destination, size_t size, const char* text) {
  if (!text) text = "";
  const size_t length = strnlen(text, size - 1);
  std::memcpy(destination, text, length);
  destination[length] = 0;
}

// The disk's device path of the interface at index, or an empty vector.
std::vector<char> InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
  DWORD needed = 0;
  SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &needed, nullptr);
  if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return {};
  std::vector<char> buffer(needed + 1);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail, needed, nullptr, nullptr)) return {};
  return std::vector<char>(detail->DevicePath, detail->DevicePath + std::strlen(detail->DevicePath) + 1);
}

}  // namespace

void USBDeviceInfo::Init() {
  bcdUSB = idVendor = idProduct = bcdDevice = 0;
  for (char*& text : texts) text = nullptr;
}

void USBDeviceInfoFree(USBDeviceInfo* info) {
  if (!info) return;
  for (char*& text : info->texts) {
    HeapFreeZ(text);
    text = nullptr;
  }
}

int32_t GetStorageDeviceNumber(const char* devicePath) {
  if (!devicePath || !*devicePath) return -1;
  Device device(devicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!device.Open()) return -1;
  STORAGE_DEVICE_NUMBER number = {};
  DWORD answered = 0;
  if (!device.Ask(IOCTL_STORAGE_GET_DEVICE_NUMBER, &number, sizeof number, &answered) ||
      answered != sizeof number) {
    return -1;
  }
  return int32_t((uint32_t(number.DeviceType) << 16) + number.DeviceNumber);
}

uint32_t GetUSBHubPortCount(const char* hubPath) {
  if (!hubPath || !*hubPath) return 0;
  Device hub(hubPath, GENERIC_WRITE, FILE_SHARE_WRITE);
  if (!hub.Open()) return 0;
  USB_NODE_INFORMATION node = {};
  DWORD answered = 0;
  if (!hub.Ask(IOCTL_USB_GET_NODE_INFORMATION, &node, sizeof node, &answered)) return 0;
  return node.u.HubInformation.HubDescriptor.bNumberOfPorts;
}

char* GetUSBPortDriverKeyName(const char* hubPath, uint32_t port) {
  if (!hubPath || !*hubPath || port == 0) return nullptr;
  Device hub(hubPath, GENERIC_WRITE, FILE_SHARE_WRITE);
  if (!hub.Open()) return nullptr;
  USB_NODE_CONNECTION_INFORMATION connection = {};
  connection.ConnectionIndex = port;
  DWORD answered = 0;
  if (!hub.Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, &connection, sizeof connection, &answered)) return nullptr;
  USB_NODE_CONNECTION_DRIVERKEY_NAME probe = {};
  probe.ConnectionIndex = port;
  if (!hub.Ask(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, &probe, sizeof probe, &answered)) return nullptr;
  // The length the first answer names is refused when it cannot hold the
  // request's own header or is beyond any key name.
  const DWORD length = probe.ActualLength;
  if (length <= sizeof probe || length > 64 * 1024) return nullptr;
  std::vector<uint8_t> buffer(length + sizeof(wchar_t));
  auto* name = reinterpret_cast<USB_NODE_CONNECTION_DRIVERKEY_NAME*>(buffer.data());
  name->ConnectionIndex = port;
  if (!hub.Ask(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, name, length, &answered)) return nullptr;
  return WideToAnsiDup(name->DriverKeyName, 0);
}

uint8_t* GetUSBDeviceDescriptor(const char* hubPath, uint32_t port) {
  if (!hubPath || !*hubPath || port == 0) return nullptr;
  Device hub(hubPath, GENERIC_WRITE, FILE_SHARE_WRITE);
  if (!hub.Open()) return nullptr;
  std::vector<uint8_t> buffer(kDescriptorRequestSize);
  auto* request = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(buffer.data());
  request->ConnectionIndex = port;
  request->SetupPacket.wValue = 0x0100;
  request->SetupPacket.wIndex = 0;
  request->SetupPacket.wLength = USHORT(kDescriptorRequestSize - sizeof(USB_DESCRIPTOR_REQUEST) + 1);
  DWORD answered = 0;
  if (!hub.Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, request, kDescriptorRequestSize, &answered)) {
    return nullptr;
  }
  const size_t offset = offsetof(USB_DESCRIPTOR_REQUEST, Data);
  if (answered < offset + 18) return nullptr;
  auto* copy = static_cast<uint8_t*>(HeapAllocZ(kDescriptorCopy));
  std::memcpy(copy, buffer.data() + offset, kDescriptorCopy);
  return copy;
}

char* GetUSBInstanceIdByDriverKey(const char* driverKey) {
  if (!driverKey || !*driverKey) return nullptr;
  DeviceSet set(SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (!set.Valid()) return nullptr;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
    char key[260] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_DRIVER, nullptr,
                                           reinterpret_cast<BYTE*>(key), sizeof key - 1, nullptr)) {
      continue;
    }
    if (std::strcmp(key, driverKey) != 0) continue;
    char id[kUSBInstanceIdSize] = {};
    if (!SetupDiGetDeviceInstanceIdA(set.get(), &device, id, sizeof id - 1, nullptr)) return nullptr;
    return StrDupExtra(id, 0);
  }
  return nullptr;
}

BOOL FindVolumeUSBHub(const char* drive, char* instanceId, char* hubPath) {
  auto getParent = reinterpret_cast<GetParentProc>(reinterpret_cast<void (*)()>(ZEQDynamicAPI("CM_Get_Parent")));
  auto getDeviceId = reinterpret_cast<GetDeviceIdProc>(reinterpret_cast<void (*)()>(ZEQDynamicAPI("CM_Get_Device_IDA")));
  if (!getParent || !getDeviceId || !drive || !*drive || !instanceId || !hubPath) return FALSE;
  char volume[16];
  std::snprintf(volume, sizeof volume, "\\\\.\\%c:", drive[0]);
  const int32_t wanted = GetStorageDeviceNumber(volume);
  if (wanted < 0) return FALSE;
  DeviceSet set(SetupDiGetClassDevsA(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set.Valid()) return FALSE;
  SP_DEVICE_INTERFACE_DATA data = {};
  data.cbSize = sizeof data;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kDiskInterface, index, &data); ++index) {
    const std::vector<char> path = InterfacePath(set.get(), &data);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    if (path.empty() || !SetupDiEnumDeviceInfo(set.get(), index, &device)) continue;
    if (GetStorageDeviceNumber(path.data()) != wanted) continue;
    DEVINST parent = 0;
    DEVINST hub = 0;
    char hubId[kUSBInstanceIdSize] = {};
    if (getParent(&parent, device.DevInst, 0) != CR_SUCCESS ||
        getDeviceId(parent, instanceId, kUSBInstanceIdSize, 0) != CR_SUCCESS ||
        getParent(&hub, parent, 0) != CR_SUCCESS || getDeviceId(hub, hubId, sizeof hubId, 0) != CR_SUCCESS) {
      return FALSE;
    }
    instanceId[kUSBInstanceIdSize - 1] = 0;
    hubId[sizeof hubId - 1] = 0;
    StrReplaceAll(hubId, "\\", "#", true);
    const int written = std::snprintf(hubPath, kUSBHubPathSize, "\\\\.\\%s%s", hubId, kHubInterfaceSuffix);
    return written > 0 && size_t(written) < kUSBHubPathSize;
  }
  return FALSE;
}

BOOL GetUSBDeviceInfo(USBDeviceInfo* info, const char* instanceId, const char* hubPath) {
  if (!info || !instanceId || !hubPath || _strnicmp(instanceId, "USB\\", 4) != 0) return FALSE;
  const uint32_t ports = GetUSBHubPortCount(hubPath);
  for (uint32_t port = 1; port <= ports; ++port) {
    char* key = GetUSBPortDriverKeyName(hubPath, port);
    if (!key) continue;
    char* id = GetUSBInstanceIdByDriverKey(key);
    uint8_t* descriptor = id && lstrcmpiA(id, instanceId) == 0 ? GetUSBDeviceDescriptor(hubPath, port) : nullptr;
    const bool found = descriptor != nullptr;
    if (found) {
      auto word = [descriptor](size_t at) { return uint16_t(descriptor[at] | descriptor[at + 1] << 8); };
      info->bcdUSB = word(2);
      info->idVendor = word(8);
      info->idProduct = word(10);
      info->bcdDevice = word(12);
      CopyText(info->hubPath, sizeof info->hubPath, hubPath);
      info->hubPort = port;
      CopyText(info->instanceId, sizeof info->instanceId, id);
      CopyText(info->driverKey, sizeof info->driverKey, key);
    }
    HeapFreeZ(descriptor);
    HeapFreeZ(id);
    HeapFreeZ(key);
    if (found) return TRUE;
  }
  return FALSE;
}

BOOL GetVolumeUSBDeviceInfo(USBDeviceInfo* info, const char* drive) {
  char instanceId[kUSBInstanceIdSize] = {};
  char hubPath[kUSBHubPathSize] = {};
  return info && FindVolumeUSBHub(drive, instanceId, hubPath) && GetUSBDeviceInfo(info, instanceId, hubPath);
}
