// Instance commands between processes: this test program sends, a started
// product receives through its loader page's handlers; the second start's
// hand-off; forged blocks; the child's watch over its main instance; the
// orderly end.
#include <gtest/gtest.h>

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

std::string Unique(const char* stem) { return std::string(stem) + std::to_string(GetCurrentProcessId()); }

std::string Title(const std::string& name) {
  char* title = FormatMainWindowTitle(name.c_str());
  std::string text(title);
  HeapFreeZ(title);
  return text;
}

// A loader page that takes the instance identity and serves commands: the
// second start's command line is kept and answered with 8194 (end it);
// user command 5 answers "got:" + the kept line + "|" + the text, user
// command 6 ends the process with exit code 3; other user commands answer
// their id times 2.
std::string ServingLoader(const std::string& name) {
  return "var kept = '';\n"
         "function ZEQOnKESTOInstanceMsg(line) { kept = line; return 8194; }\n"
         "function ZEQOnKESTOMessage(id, text) {\n"
         "  if (id == 5) return 'got:' + kept + '|' + text;\n"
         "  if (id == 6) window.external.KESTOExit(3);\n"
         "  return id * 2;\n"
         "}\n"
         "window.external.KESTOCreateID('" + name + "');\n";
}

class InstanceCommands : public ::testing::Test {
 protected:
  // Starts the serving product under the name and waits for its window.
  HWND StartServing(ProductFolder& product, const std::string& name, const std::string& more = "") {
    product.WriteLoader("Loader.html", ServingLoader(name));
    if (!product.Start("id(" + name + ") " + more)) return nullptr;
    HWND window = nullptr;
    WaitUntil([&] {
      window = FindMainInstanceWindow(name.c_str());
      return window != nullptr || !product.Running();
    });
    return window;
  }

  // Sends a user command with a message area of the program's own size;
  // the reply header (null when none came) and the area's text.
  InstanceCommandHeader* SendUser(const std::string& name, HWND window, int32_t id, const std::string& text,
                                  std::string* reply, DWORD timeout = 10000) {
    std::vector<char> area(kInstanceUserArea, '\0');
    std::memcpy(area.data(), text.data(), text.size());
    InstanceCommandHeader* header = KESTOInstanceSendCommand(Title(name).c_str(), static_cast<int>(area.size()),
                                                             window, id, area.data(), timeout, kInstanceSendWait);
    if (reply) *reply = std::string(area.data(), strnlen(area.data(), area.size()));
    return header;
  }
};

TEST_F(InstanceCommands, GetInfoReadsTheRecordOfTheRunningInstance) {
  ProductFolder product;
  const std::string name = Unique("info");
  HWND window = StartServing(product, name);
  ASSERT_NE(nullptr, window) << product.Log();
  std::vector<char> area(kInstanceGetInfoArea, '\0');
  InstanceCommandHeader* header = KESTOInstanceSendCommand(Title(name).c_str(), static_cast<int>(area.size()), window,
                                                           kInstanceCommandGetInfo, area.data(), 10000,
                                                           kInstanceSendWait);
  ASSERT_NE(nullptr, header) << product.Log();
  EXPECT_EQ(KESTOMR_STATE_DONE, static_cast<uint32_t>(header->state));
  EXPECT_EQ(0, header->result);
  HeapFreeZ(header);
  uint32_t id = 0;
  std::memcpy(&id, &area[kInfoApplicationId], sizeof id);
  EXPECT_EQ(17u, id);
  EXPECT_STREQ("Teste", &area[kInfoName]);
  EXPECT_STREQ("1.2.3 pt-BR Beta", &area[kInfoVersion]);
  EXPECT_STREQ("3.7.121", &area[kInfoHostVersion]);
  EXPECT_STREQ("2.5.0", &area[kInfoPlatformVersion]);
  const std::string path = &area[kInfoExecutablePath];
  EXPECT_NE(std::string::npos, path.find("kesto.exe")) << path;
}

TEST_F(InstanceCommands, UserCommandsAreAnsweredByThePageAndEndIt) {
  ProductFolder product;
  const std::string name = Unique("user");
  HWND window = StartServing(product, name);
  ASSERT_NE(nullptr, window) << product.Log();
  struct Reply {
    const char* name;
    int32_t id;
    const char* text;
    long result;
    const char* area;  // the reply text, or null when the area is cleared
  };
  const Reply replies[] = {
      {"a text answer replaces the message", 5, "hello", 0, "got:|hello"},
      {"a number answer goes into the result", 21, "x", 42, ""},
  };
  for (const Reply& r : replies) {
    std::string text;
    InstanceCommandHeader* header = SendUser(name, window, r.id, r.text, &text);
    ASSERT_NE(nullptr, header) << r.name << "\n" << product.Log();
    EXPECT_EQ(r.result, header->result) << r.name;
    EXPECT_EQ(r.area, text) << r.name << "\n" << product.Log();
    HeapFreeZ(header);
  }
  // Command 6 ends the instance from its page: no reply comes back.
  std::string text;
  EXPECT_EQ(nullptr, SendUser(name, window, 6, "bye", &text, 2000));
  EXPECT_EQ(3, product.Wait());
  EXPECT_NE(std::string::npos, product.Log().find("USER")) << product.Log();
}

TEST_F(InstanceCommands, ASecondStartHandsItsCommandLineToTheFirstAndEnds) {
  ProductFolder product;
  const std::string name = Unique("second");
  HWND window = StartServing(product, name);
  ASSERT_NE(nullptr, window) << product.Log();
  // The second start runs the same executable from the same folder.
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::string line = "\"" + product.path() + "\\KESTO.exe\" log(second.log) id(" + name + ") Loader.html marker42";
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, product.path().c_str(), &startup,
                             &info));
  CloseHandle(info.hThread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, product_test::kProcessTimeoutMs));
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  EXPECT_EQ(0u, code);
  // The first instance kept the command line its handler was given.
  std::string text;
  InstanceCommandHeader* header = SendUser(name, window, 5, "?", &text);
  ASSERT_NE(nullptr, header);
  HeapFreeZ(header);
  EXPECT_NE(std::string::npos, text.find("marker42")) << text;
  EXPECT_NE(std::string::npos, text.find("|?")) << text;
  EXPECT_TRUE(product.Running());
}

// A window that only looks like a main window records what reaches it.
LONG forgedNotifications = 0;
LRESULT CALLBACK ForgedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CMSG_KESTONOTIFY) InterlockedIncrement(&forgedNotifications);
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(InstanceCommands, TheHandOffTrustsNoWindowOfAnotherProgram) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = ForgedProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kMainWindowClassName;
  RegisterClassExA(&windowClass);
  const std::string name = Unique("forged");
  HWND forged = CreateWindowExA(0, kMainWindowClassName, Title(name).c_str(), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, forged);
  ProductFolder product;
  product.WriteLoader("Loader.html", "window.external.KESTOExit(5);");
  InterlockedExchange(&forgedNotifications, 0);
  EXPECT_EQ(5, product.Run("id(" + name + ")"));
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(0, forgedNotifications);
  EXPECT_NE(std::string::npos, product.Log().find("InstanceHandOff: [REFUSED]")) << product.Log();
  DestroyWindow(forged);
  UnregisterClassA(kMainWindowClassName, GetModuleHandleA(nullptr));
}

// Writes a block by hand, as a forger would, and announces it with the
// given size; the block's state and result afterwards.
struct ForgedBlock {
  const char* name;
  DWORD blockSize;       // the mapping's real size
  WPARAM announcedSize;  // what the notification claims
  int32_t id;
  bool answered;         // the receiver marks the block done
  LONG result;
};

TEST_F(InstanceCommands, ForgedBlocksAreRefusedWithoutWritingPastThem) {
  ProductFolder product;
  const std::string name = Unique("blocks");
  HWND window = StartServing(product, name);
  ASSERT_NE(nullptr, window) << product.Log();
  const ForgedBlock blocks[] = {
      {"shorter than the header", 16, 16, kInstanceCommandGetInfo, false, 0},
      {"larger than the mapping", 64, 0x20000, kInstanceCommandGetInfo, false, 0},
      {"too small for the information record", 200, 200, kInstanceCommandGetInfo, true, 2},
  };
  const std::string mappingName = "Local\\KESTO." + Title(name);
  for (const ForgedBlock& b : blocks) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, b.blockSize + 4096,
                                        mappingName.c_str());
    ASSERT_NE(nullptr, mapping) << b.name;
    auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    // Bytes past the block hold a pattern the receiver must leave alone.
    std::memset(view + b.blockSize, 0xA5, 4096);
    // The section is larger than the block so that a receiver writing past
    // the block would be seen rather than fault.
    auto* header = reinterpret_cast<InstanceCommandHeader*>(view);
    ASSERT_TRUE(SendNotifyMessageA(window, CMSG_KESTONOTIFY, b.announcedSize, b.id));
    const bool done = WaitUntil([&] { return b.blockSize >= 24 && header->state == 2; }, 1500);
    EXPECT_EQ(b.answered, done) << b.name;
    if (b.blockSize >= 24 && done) {
      EXPECT_EQ(b.result, header->result) << b.name;
    }
    bool untouched = true;
    for (size_t i = 0; i < 4096; ++i) untouched = untouched && view[b.blockSize + i] == 0xA5;
    EXPECT_TRUE(untouched) << b.name;
    UnmapViewOfFile(view);
    CloseHandle(mapping);
  }
  EXPECT_TRUE(product.Running());
  std::string text;
  InstanceCommandHeader* header = SendUser(name, window, 21, "", &text);
  ASSERT_NE(nullptr, header) << product.Log();
  EXPECT_EQ(42, header->result);
  HeapFreeZ(header);
}

TEST(MainInstanceWatch, AChildEndsWhenItsMainInstanceIsKilled) {
  const std::string mainName = ".ZEQ{00AB.0000.0011." + std::to_string(GetCurrentProcessId() % 10000) + "}";
  ProductFolder main;
  main.WriteLoader("Loader.html", "window.external.KESTOCreateID('" + mainName + "');");
  ASSERT_TRUE(main.Start("id(" + mainName + ")"));
  const std::string pipe = "\\\\.\\pipe\\" + mainName;
  ASSERT_TRUE(WaitUntil([&] { return WaitNamedPipeA(pipe.c_str(), 0) || GetLastError() == ERROR_SEM_TIMEOUT; }))
      << main.Log();
  ProductFolder child;
  child.WriteLoader("Loader.html", "var idle = 1;");
  ASSERT_TRUE(child.Start("id(child" + std::to_string(GetCurrentProcessId()) + ") ipcid(" + mainName + ".child)"));
  // While the main instance lives, the child stays.
  WaitUntil([] { return false; }, 1500);
  ASSERT_TRUE(child.Running()) << child.Log();
  main.Kill();
  EXPECT_NE(-1, child.Wait(10000)) << child.Log();
  EXPECT_NE(std::string::npos,
            child.Log().find("MonitorMainProcess: Finalizing current process. \"" + mainName + "\" is not alive anymore"))
      << child.Log();
}

struct EndRoad {
  const char* name;
  UINT message;
  WPARAM wParam;
};

TEST(ProcessEnd, EveryRoadEndsWithTheExitCodeAndTheClosedEntry) {
  const EndRoad roads[] = {
      {"main window destroyed: the orderly end", CMSG_DESTROYWND, 0},
      {"command 1001: the immediate end", WM_COMMAND, 1001},
      {"end of session: the immediate end", WM_QUERYENDSESSION, 0},
  };
  for (const EndRoad& road : roads) {
    ProductFolder product;
    const std::string name = Unique("end") + std::to_string(road.message);
    product.WriteLoader("Loader.html",
                        "window.external.KESTOSetExitCode(4);\nwindow.external.KESTOCreateID('" + name + "');");
    ASSERT_TRUE(product.Start("id(" + name + ")")) << road.name;
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = FindMainInstanceWindow(name.c_str())) != nullptr; }))
        << road.name << "\n" << product.Log();
    PostMessageA(window, road.message, road.wParam, 0);
    EXPECT_EQ(4, product.Wait()) << road.name;
    const std::string log = product.Log();
    EXPECT_NE(std::string::npos, log.find("[STARTED]")) << road.name << "\n" << log;
    EXPECT_NE(std::string::npos, product_test::LastLine(log).find("[CLOSED]")) << road.name << "\n" << log;
  }
}

}  // namespace
