// The USB look-up's failure paths (Wine has no USB storage): every step
// answers its failure value and a record is left as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "host/browser_settings.h"
#include "foundation/heap.h"
#include "host/usb_lookup.h"

namespace {

constexpr char kNoHub[] = "\\\\.\\USB#ROOT_HUB#4&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";

TEST(USBLookup, QueriesOfDevicesThatAreNotThereAnswerTheirFailureValues) {
  EXPECT_EQ(-1, GetStorageDeviceNumber("\\\\.\\NoSuchDevice"));
  EXPECT_EQ(-1, GetStorageDeviceNumber(""));
  EXPECT_EQ(0u, GetUSBHubPortCount(kNoHub));
  EXPECT_EQ(nullptr, GetUSBPortDriverKeyName(kNoHub, 1));
  EXPECT_EQ(nullptr, GetUSBDeviceDescriptor(kNoHub, 1));
  EXPECT_EQ(nullptr, GetUSBInstanceIdByDriverKey("{36fc9e60-c465-11cf-8056-444553540000}\\0000"));
}

TEST(USBLookup, NoDriveLetterLeadsToAUSBDevice) {
  KESTOLoadDynamicAPIs();
  struct Case {
    const char* name;
    std::string instanceId;
    const char* hub;
  };
  const Case cases[] = {
      {"not a USB device", "PCI\\VEN_8086&DEV_0000\\0", kNoHub},
      {"a hub without ports", "USB\\VID_1234&PID_5678\\0", kNoHub},
  };
  for (const Case& c : cases) {
    USBDeviceInfo info;
    std::memset(&info, 'x', sizeof info);
    info.Init();
    const USBDeviceInfo before = info;
    EXPECT_FALSE(GetUSBDeviceInfo(&info, c.instanceId.c_str(), c.hub)) << c.name;
    EXPECT_EQ(0, std::memcmp(&before, &info, sizeof info)) << c.name;
  }
  const DWORD drives = GetLogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char drive[2] = {letter, 0};
    USBDeviceInfo info;
    info.Init();
    EXPECT_FALSE(GetVolumeUSBDeviceInfo(&info, drive)) << letter << (drives & (1u << (letter - 'A')) ? " present" : "");
    EXPECT_EQ(0, info.idVendor) << letter;
    USBDeviceInfoFree(&info);
  }
  char instanceId[kUSBInstanceIdSize] = {};
  char hub[kUSBHubPathSize] = {};
  EXPECT_FALSE(FindVolumeUSBHub("", instanceId, hub));
}

TEST(USBLookup, TheRecordFreesTheTextsACallerSet) {
  USBDeviceInfo info;
  info.Init();
  EXPECT_EQ(0, info.bcdUSB);
  info.texts[1] = static_cast<char*>(HeapAllocZ(8));
  USBDeviceInfoFree(&info);
  for (char* text : info.texts) EXPECT_EQ(nullptr, text);
}

}  // namespace
