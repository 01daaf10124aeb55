// The main window as the system's mailbox: device and power messages sent
// to a running product's main window, and what its loader page's handlers
// saw of them, read back through a user command.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/registered_messages.h"
#include "host/instance_names.h"
#include "kesto/instance_commands.h"
#include "product_process.h"

namespace {

using product_test::ProductFolder;
using product_test::WaitUntil;

// A loader that records the events it is given ("name arg arg ...") and
// answers user command 1 with the records so far, 2 by forgetting them (an
// empty reply) and
// 3 by ending the process with exit code 4.
std::string RecordingLoader(const std::string& name) {
  return "var got = [];\n"
         "function record(name, args) {\n"
         "  var parts = [name]; for (var i = 0; i < args.length; ++i) parts.push(args[i]);\n"
         "  got.push(parts.join(' '));\n"
         "}\n"
         "function ZEQOnDeviceInsert() { record('insert', arguments); }\n"
         "function ZEQOnDeviceRemove() { record('remove', arguments); }\n"
         "function ZEQOnSystemResume() { record('resume', arguments); }\n"
         "function ZEQOnKESTOLastSessionNotProperlyClosed() { record('marker', arguments); }\n"
         "function ZEQOnKESTOMessage(id, text) {\n"
         "  if (id == 1) return got.join(';');\n"
         "  if (id == 2) { got = []; return 0; }\n"
         "  if (id == 3) window.external.KESTOExit(4);\n"
         "  return 0;\n"
         "}\n"
         "window.external.KESTOCreateID('" + name + "');\n";
}

std::string Title(const std::string& name) {
  char* title = FormatMainWindowTitle(name.c_str());
  std::string text(title);
  HeapFreeZ(title);
  return text;
}

// A user command; its reply text ("<no reply>" when none came).
std::string UserCommand(const std::string& name, HWND window, int32_t id, DWORD timeout = 10000) {
  std::vector<char> area(kInstanceUserArea, '\0');
  InstanceCommandHeader* header = KESTOInstanceSendCommand(Title(name).c_str(), static_cast<int>(area.size()), window,
                                                           id, area.data(), timeout, kInstanceSendWait);
  if (!header) return "<no reply>";
  HeapFreeZ(header);
  return std::string(area.data(), strnlen(area.data(), area.size()));
}

// A device broadcast record as the system builds it: the header's size
// covers the whole record, the device name included.
std::vector<uint8_t> DeviceInterface(const char* deviceName) {
  const size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + std::strlen(deviceName) + 1;
  std::vector<uint8_t> bytes(size, 0);
  auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(bytes.data());
  record->dbcc_size = static_cast<DWORD>(size);
  record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(record->dbcc_name, deviceName, std::strlen(deviceName) + 1);
  return bytes;
}

std::vector<uint8_t> Volume(DWORD unitMask, WORD flags) {
  std::vector<uint8_t> bytes(sizeof(DEV_BROADCAST_VOLUME), 0);
  auto* record = reinterpret_cast<DEV_BROADCAST_VOLUME*>(bytes.data());
  record->dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
  record->dbcv_devicetype = DBT_DEVTYP_VOLUME;
  record->dbcv_unitmask = unitMask;
  record->dbcv_flags = flags;
  return bytes;
}

std::vector<uint8_t> Port() {
  std::vector<uint8_t> bytes(sizeof(DEV_BROADCAST_PORT_A) + 8, 0);
  auto* record = reinterpret_cast<DEV_BROADCAST_PORT_A*>(bytes.data());
  record->dbcp_size = static_cast<DWORD>(bytes.size());
  record->dbcp_devicetype = DBT_DEVTYP_PORT;
  std::memcpy(record->dbcp_name, "COM7", 5);
  return bytes;
}

struct MessageCase {
  const char* name;
  UINT message;
  WPARAM wParam;
  std::vector<uint8_t> record;  // lParam points to it; empty: lParam 0
  LRESULT answer;               // -1: not checked
  const char* seen;             // what the page recorded ("" for nothing)
};

TEST(MainWindow, DeviceAndPowerMessagesReachTheLoaderPageAsTheirEvents) {
  ProductFolder product;
  const std::string name = "mailbox" + std::to_string(GetCurrentProcessId());
  product.WriteLoader("Loader.html", RecordingLoader(name));
  ASSERT_TRUE(product.Start("id(" + name + ")"));
  HWND window = nullptr;
  WaitUntil([&] {
    window = FindMainInstanceWindow(name.c_str());
    return window != nullptr || !product.Running();
  });
  ASSERT_NE(nullptr, window) << product.Log();

  const std::vector<MessageCase> cases = {
      {"a device interface arrival raises ZEQOnDeviceInsert with the device's name", WM_DEVICECHANGE,
       DBT_DEVICEARRIVAL, DeviceInterface("\\\\?\\USB#VID_1234&PID_0001#zeq"), 1,
       "insert 0 \\\\?\\USB#VID_1234&PID_0001#zeq"},
      {"a volume removal raises ZEQOnDeviceRemove with its unit mask and flags", WM_DEVICECHANGE,
       DBT_DEVICEREMOVECOMPLETE, Volume(0x10, DBTF_MEDIA), 1, "remove 1 16 1"},
      {"a port arrival raises nothing", WM_DEVICECHANGE, DBT_DEVICEARRIVAL, Port(), 1, ""},
      {"another device event raises nothing", WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, {}, 1, ""},
      {"an automatic resume raises ZEQOnSystemResume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, {}, -1, "resume"},
      {"a resume from suspend raises nothing", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, {}, -1, ""},
      {"a context menu request is answered and raises nothing", WM_CONTEXTMENU, 0, {}, 1, ""},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ("", UserCommand(name, window, 2)) << product.Log();
    std::vector<uint8_t> record = c.record;
    DWORD_PTR answer = 0;
    ASSERT_NE(0, SendMessageTimeoutA(window, c.message, c.wParam,
                                     record.empty() ? 0 : reinterpret_cast<LPARAM>(record.data()), SMTO_NORMAL,
                                     10000, &answer))
        << product.Log();
    if (c.answer >= 0) {
      EXPECT_EQ(c.answer, static_cast<LRESULT>(answer));
    }
    // Events reach the page in the order they were raised: the marker comes
    // after whatever the message raised.
    PostMessageA(window, CMSG_KESTOLASTSESSIONNOTPROPERLYCLOSED, 77, 0);
    const std::string expected = std::string(c.seen) + (*c.seen ? ";" : "") + "marker 77";
    std::string seen;
    EXPECT_TRUE(WaitUntil(
        [&] {
          seen = UserCommand(name, window, 1);
          return seen.find("marker") != std::string::npos;
        },
        10000));
    EXPECT_EQ(expected, seen);
  }
  EXPECT_EQ("<no reply>", UserCommand(name, window, 3, 2000));
  EXPECT_EQ(4, product.Wait());
  const std::string log = product.Log();
  EXPECT_NE(std::string::npos, log.find("WM_POWERBROADCAST: wParam: 00000012, lParam: 00000000")) << log;
  EXPECT_NE(std::string::npos, log.find("WM_POWERBROADCAST: wParam: 00000007, lParam: 00000000")) << log;
}

}  // namespace
