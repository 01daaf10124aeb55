// The USB device behind a drive letter: from the volume to its disk (by
// storage device number), up the device tree to the USB device and its hub,
// then over the hub's ports to the one that holds the device, whose
// descriptor gives the vendor and product ids and the USB version. The
// configuration manager's CM_Get_Parent and CM_Get_Device_IDA come from the
// entry points bound at start-up (KESTOLoadDynamicAPIs). No state: any
// thread may call.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr size_t kUSBTextSize = 1025;

struct USBDeviceInfo {
  uint16_t bcdUSB;
  uint16_t idVendor;
  uint16_t idProduct;
  uint16_t bcdDevice;
  char hubPath[kUSBTextSize];          // the hub's device interface path
  uint32_t hubPort;
  char instanceId[kUSBTextSize];       // the device's instance id
  char driverKey[kUSBTextSize];        // the device's driver key name
  char* texts[3];                      // heap texts a caller may fill

  // Clears the four 16-bit values and the three text pointers.
  void Init();
};
// Frees each of the three heap texts that is set.
void USBDeviceInfoFree(USBDeviceInfo* info);

// (device type << 16) + device number of a device path; -1 on failure.
int32_t GetStorageDeviceNumber(const char* devicePath);
// The hub's number of ports; 0 on failure.
uint32_t GetUSBHubPortCount(const char* hubPath);
// Heap texts (HeapFreeZ) or null.
char* GetUSBPortDriverKeyName(const char* hubPath, uint32_t port);
// A heap copy of the first 20 bytes of the answer's data: the 18-byte
// device descriptor (bcdUSB at 2, idVendor at 8, idProduct at 10, bcdDevice
// at 12, little-endian) and what follows; null on failure.
uint8_t* GetUSBDeviceDescriptor(const char* hubPath, uint32_t port);
char* GetUSBInstanceIdByDriverKey(const char* driverKey);

constexpr size_t kUSBInstanceIdSize = 260;
constexpr size_t kUSBHubPathSize = 264;
// The disk behind the drive letter (the first character of the text): its
// parent's instance id into instanceId[kUSBInstanceIdSize] and the hub's
// interface path into hubPath[kUSBHubPathSize] (a hub id too long for it is
// refused). FALSE when the entry points are not bound or no disk matches.
BOOL FindVolumeUSBHub(const char* drive, char* instanceId, char* hubPath);
// TRUE when a port of the hub holds the device; the record is filled then.
BOOL GetUSBDeviceInfo(USBDeviceInfo* info, const char* instanceId, const char* hubPath);
// FindVolumeUSBHub followed by GetUSBDeviceInfo.
BOOL GetVolumeUSBDeviceInfo(USBDeviceInfo* info, const char* drive);
