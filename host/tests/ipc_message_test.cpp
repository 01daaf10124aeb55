// Command messages: their JSON text written and read back, read by python's
// json module, and texts of other writers read.
#include "host/ipc_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "host/js_array.h"
#include "host_python.h"
#include "package/vfs.h"

namespace {

struct RoundTrip {
  const char* name;
  IPCMessage message;
};

IPCMessage Made(uint32_t kind, const char* command, const char* callback, uint64_t value,
                void (*fill)(IPCMessage&)) {
  IPCMessage message = IPCMessageConstruct(kind, command);
  message.callbackName = callback;
  message.callbackValue = value;
  if (fill) fill(message);
  return message;
}

std::vector<RoundTrip> RoundTrips() {
  return {
      {"a call with a string and an integer",
       Made(kIpcCall, "Ping", "OnPong", 0x1f,
            [](IPCMessage& m) {
              IPCMessageAddString(m, "hello");
              IPCMessageAddInt64(m, -5000000000LL);
            })},
      {"an asynchronous event with a boolean and a double",
       Made(kIpcEvent | kIpcAsync, "Changed", "", 0,
            [](IPCMessage& m) {
              IPCMessageAddBool(m, true);
              IPCMessageAddDouble(m, 2.5);
            })},
      {"an unhandled reply keeps its callback but names no command",
       Made(kIpcReply | kIpcUnhandled, "", "7", 0xffffffff00001234ULL, nullptr)},
      {"a get with a type of the peer's own",
       Made(kIpcGet, "Volume", "", 0, [](IPCMessage& m) { IPCMessageAddTyped(m, L"x", L"{\"a\":1}"); })},
      {"a set whose command holds quotes, backslashes and a placeholder",
       Made(kIpcSet, "it's \"quoted\" \\ %id%", "", 0, [](IPCMessage& m) { IPCMessageAddString(m, "a'b\"c"); })},
      {"an empty string stays empty", Made(kIpcCall, "Message", "", 0, [](IPCMessage& m) { IPCMessageAddString(m, ""); })},
  };
}

void ExpectSame(const IPCMessage& expected, const IPCMessage& read, const char* name) {
  EXPECT_EQ(expected.kind, read.kind) << name;
  EXPECT_EQ((expected.kind & kIpcKindMask) == kIpcReply ? "" : expected.command, read.command) << name;
  EXPECT_EQ(expected.callbackName, read.callbackName) << name;
  EXPECT_EQ(expected.callbackValue, read.callbackValue) << name;
  ASSERT_EQ(expected.params.size(), read.params.size()) << name;
  for (size_t i = 0; i < expected.params.size(); ++i) {
    EXPECT_EQ(IPCMessageParamKind(expected, i), IPCMessageParamKind(read, i)) << name << " #" << i;
    EXPECT_EQ(IPCMessageParamText(expected, i), IPCMessageParamText(read, i)) << name << " #" << i;
  }
}

TEST(IpcMessageText, EveryMessageReadsBackAsItWasWritten) {
  for (const RoundTrip& trip : RoundTrips()) {
    std::string text = IPCMessageToText(trip.message);
    IPCMessageSetSender("app1", &text);
    IPCMessage read;
    ASSERT_TRUE(IPCMessageFromText(text.c_str(), &read)) << trip.name << ": " << text;
    ExpectSame(trip.message, read, trip.name);
    const bool request = !trip.message.callbackName.empty() && (trip.message.kind & kIpcKindMask) != kIpcReply;
    EXPECT_EQ(request ? "app1" : "", read.sender) << trip.name;
  }
}

TEST(IpcMessageText, ACallIsWrittenWithItsMembersInOrderAndNoBlanks) {
  IPCMessage message = RoundTrips()[0].message;
  message.params[1].value = L"5";
  std::string text = IPCMessageToText(message);
  EXPECT_EQ("{\"t\":\"c\",\"c\":\"Ping\",\"cb\":\"%id%:OnPong:1f\",\"p\":[\"aGVsbG8=\",5]}", text);
  IPCMessageSetSender("app1", &text);
  EXPECT_EQ("{\"t\":\"c\",\"c\":\"Ping\",\"cb\":\"app1:OnPong:1f\",\"p\":[\"aGVsbG8=\",5]}", text);
}

TEST(IpcMessageText, StringParametersComeBackAsTheySent) {
  IPCMessage message = IPCMessageConstruct(kIpcCall, "Message");
  IPCMessageAddString(message, "caf\xe9 & \"more\"");
  IPCMessage read;
  ASSERT_TRUE(IPCMessageFromText(IPCMessageToText(message).c_str(), &read));
  EXPECT_EQ("caf\xe9 & \"more\"", IPCMessageParamString(read, 0));
  EXPECT_EQ(L"Y2Fm6SAmICJtb3JlIg==", IPCMessageParamText(read, 0));
}

TEST(IpcMessageText, ASenderNameWithQuotesCannotAddMembers) {
  IPCMessage message = IPCMessageConstruct(kIpcCall, "Ping");
  message.callbackName = "cb";
  std::string text = IPCMessageToText(message);
  IPCMessageSetSender("x\",\"t\":\"r", &text);
  IPCMessage read;
  ASSERT_TRUE(IPCMessageFromText(text.c_str(), &read)) << text;
  EXPECT_EQ(kIpcCall, read.kind);
  EXPECT_EQ("x\",\"t\"", read.sender);
}

TEST(IpcMessageText, ABareValueThatIsNoNumberIsNotWrittenBare) {
  IPCMessage message = IPCMessageConstruct(kIpcCall, "Ping");
  IPCMessageAddTyped(message, L"i", L"1],\"c\":\"Evil\",\"p\":[2");
  IPCMessage read;
  ASSERT_TRUE(IPCMessageFromText(IPCMessageToText(message).c_str(), &read));
  EXPECT_EQ("Ping", read.command);
  ASSERT_EQ(1u, read.params.size());
  EXPECT_EQ(0, IPCMessageParamInt64(read, 0));
}

struct ForeignText {
  const char* name;
  const char* text;
  bool parses;
  uint32_t kind;
  const char* command;
  const char* sender;
  const char* callback;
  uint64_t value;
  size_t params;
};

TEST(IpcMessageText, TextsOfOtherWritersAreReadOrRefused) {
  const ForeignText cases[] = {
      {"single quotes", "{'t':'e a','c':'Ping','p':['aGk=',3,1.5,false]}", true, kIpcEvent | kIpcAsync, "Ping", "",
       "", 0, 4},
      {"a reply's callback has no sender", "{'t':'r u','cb':'12:ff'}", true, kIpcReply | kIpcUnhandled, "", "", "12",
       0xff, 0},
      {"unknown elements are skipped", "{\"t\":\"c\",\"c\":\"X\",\"p\":[null,[1],{\"t\":\"q\",\"v\":\"w\"}]}", true,
       kIpcCall, "X", "", "", 0, 1},
      {"members of the wrong type are ignored", "{\"t\":5,\"c\":\"X\",\"cb\":7,\"p\":{}}", true, 0, "", "", "", 0, 0},
      {"no JSON", "hello", false, 0, "", "", "", 0, 0},
      {"an array is no message", "[1,2]", false, 0, "", "", "", 0, 0},
      {"a cut text", "{\"t\":\"c\",\"c\":", false, 0, "", "", "", 0, 0},
      {"an empty text", "", false, 0, "", "", "", 0, 0},
  };
  for (const ForeignText& c : cases) {
    IPCMessage read;
    EXPECT_EQ(c.parses, IPCMessageFromText(c.text, &read)) << c.name;
    EXPECT_EQ(c.kind, read.kind) << c.name;
    EXPECT_EQ(c.command, read.command) << c.name;
    EXPECT_EQ(c.sender, read.sender) << c.name;
    EXPECT_EQ(c.callback, read.callbackName) << c.name;
    EXPECT_EQ(c.value, read.callbackValue) << c.name;
    EXPECT_EQ(c.params, read.params.size()) << c.name;
  }
}

TEST(IpcMessageText, ParametersReadOutOfRangeAreEmpty) {
  IPCMessage message = IPCMessageConstruct(kIpcCall, "X");
  IPCMessageAddInt64(message, 42);
  EXPECT_EQ(kIpcParamInt, IPCMessageParamKind(message, 0));
  EXPECT_EQ(42, IPCMessageParamInt64(message, 0));
  EXPECT_EQ(kIpcParamNone, IPCMessageParamKind(message, 1));
  EXPECT_EQ(L"", IPCMessageParamText(message, 1));
  EXPECT_FALSE(IPCMessageParamBool(message, 1));
}

TEST(IpcMessageText, PythonsJsonModuleReadsTheTextsAndWritesOneWeRead) {
  pytest::HostPython python;
  const std::vector<RoundTrip> trips = RoundTrips();
  for (size_t i = 0; i < trips.size(); ++i) {
    std::string text = IPCMessageToText(trips[i].message);
    IPCMessageSetSender("app1", &text);
    python.folder().Write("m" + std::to_string(i) + ".json", text);
  }
  ASSERT_TRUE(python.Run(
      "import json, os, sys, base64\n"
      "d = sys.argv[1]\n"
      "out = []\n"
      "for i in range(" + std::to_string(trips.size()) + "):\n"
      "    m = json.load(open(os.path.join(d, 'm%d.json' % i), encoding='latin-1'))\n"
      "    out.append('%s|%s|%s|%d' % (m['t'], m.get('c', '-'), m.get('cb', '-'), len(m['p'])))\n"
      "open(os.path.join(d, 'seen.txt'), 'w').write('\\n'.join(out))\n"
      "msg = {'t': 'c a', 'c': 'Na\"me', 'cb': 'peer:OnIt:abc',\n"
      "       'p': [base64.b64encode(b'from python').decode(), 7, True, 0.25]}\n"
      "open(os.path.join(d, 'python.json'), 'w').write(json.dumps(msg))\n"))
      << python.problem();
  const std::string seen = filetest::ReadTextFile(python.folder() / "seen.txt");
  EXPECT_EQ(
      "c|Ping|app1:OnPong:1f|2\n"
      "e a|Changed|-|2\n"
      "r u|-|7:ffffffff00001234|0\n"
      "g|Volume|-|1\n"
      "s|it's \"quoted\" \\ %id%|-|1\n"
      "c|Message|-|1",
      seen);
  IPCMessage read;
  ASSERT_TRUE(IPCMessageFromText(filetest::ReadTextFile(python.folder() / "python.json").c_str(), &read));
  EXPECT_EQ(kIpcCall | kIpcAsync, read.kind);
  EXPECT_EQ("Na\"me", read.command);
  EXPECT_EQ("peer", read.sender);
  EXPECT_EQ("OnIt", read.callbackName);
  EXPECT_EQ(0xabcu, read.callbackValue);
  EXPECT_EQ("from python", IPCMessageParamString(read, 0));
  EXPECT_EQ(7, IPCMessageParamInt64(read, 1));
  EXPECT_TRUE(IPCMessageParamBool(read, 2));
  EXPECT_DOUBLE_EQ(0.25, IPCMessageParamDouble(read, 3));
}

TEST(IpcMessageScript, ParametersBecomeScriptValuesInOrder) {
  IPCMessage message = IPCMessageConstruct(kIpcEvent, "Ping");
  IPCMessageAddString(message, "hi");
  IPCMessageAddInt64(message, 1LL << 40);
  IPCMessageAddBool(message, true);
  IPCMessageAddDouble(message, 0.5);
  IPCMessageAddTyped(message, L"q", L"w");
  IPCMessageAddInt64(message, -7);
  JSArray array;
  array.Init();
  IPCMessageToScriptArray(message, &array);
  ASSERT_EQ(6, array.Count());
  EXPECT_EQ(VT_BSTR, V_VT(array.At(0)));
  EXPECT_STREQ(L"hi", V_BSTR(array.At(0)));
  EXPECT_EQ(VT_R8, V_VT(array.At(1)));
  EXPECT_EQ(static_cast<double>(1LL << 40), V_R8(array.At(1)));
  EXPECT_EQ(VT_BOOL, V_VT(array.At(2)));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(array.At(2)));
  EXPECT_EQ(VT_R8, V_VT(array.At(3)));
  EXPECT_EQ(VT_NULL, V_VT(array.At(4)));
  EXPECT_EQ(VT_I4, V_VT(array.At(5)));
  EXPECT_EQ(-7, V_I4(array.At(5)));
  array.Destroy();
}

TEST(IpcEndpoint, RequestsAreNumberedAndTheirEntriesTakenOnce) {
  IPCEndpoint endpoint("app1");
  EXPECT_EQ("app1", endpoint.Name());
  const std::string first = endpoint.NewRequestId(11);
  const std::string second = endpoint.NewRequestId(22);
  EXPECT_EQ("1", first);
  EXPECT_EQ("2", second);
  EXPECT_EQ(22u, endpoint.FindPending(second));
  EXPECT_EQ(11u, endpoint.TakePending(first));
  EXPECT_EQ(0u, endpoint.TakePending(first));
  EXPECT_TRUE(endpoint.RemovePending(second));
  EXPECT_FALSE(endpoint.RemovePending(second));
  EXPECT_EQ(0u, endpoint.FindPending("3"));
}

TEST(IpcEndpoint, RepliesThatNeverCameAreLetGoOldestFirst) {
  IPCEndpoint endpoint("app1");
  for (uintptr_t entry = 1; entry <= 5; ++entry) endpoint.NewRequestId(entry);
  // Nothing is old enough yet: only what goes beyond the newest three.
  EXPECT_EQ((std::vector<uintptr_t>{1, 2}), endpoint.TakeStale(60000, 3));
  EXPECT_EQ(0u, endpoint.FindPending("2"));
  EXPECT_EQ(3u, endpoint.FindPending("3"));
  EXPECT_TRUE(endpoint.TakeStale(60000, 3).empty());
  // Every entry has waited at least no time at all.
  std::vector<uintptr_t> aged = endpoint.TakeStale(0, 100);
  std::sort(aged.begin(), aged.end());
  EXPECT_EQ((std::vector<uintptr_t>{3, 4, 5}), aged);
  EXPECT_EQ(0u, endpoint.TakePending("5"));
  // Numbering goes on after entries were let go.
  EXPECT_EQ("6", endpoint.NewRequestId(6));
}

// The path form of the pipe client: a message-mode server of this test
// reads what SendToPipe wrote as UTF-16.
TEST(IpcPipe, APipeOpenedByPathCarriesUtf16Text) {
  const char kPath[] = "\\\\.\\pipe\\zeq-w23c-path-pipe";
  HANDLE server = CreateNamedPipeA(kPath, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                   1, 4096, 4096, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, server);
  HANDLE client = GetPipeHandle((std::string("ZEQ:") + kPath).c_str());
  ASSERT_NE(nullptr, client);
  ConnectNamedPipe(server, nullptr);
  EXPECT_TRUE(SendToPipe(client, "ping, caf\xe9"));
  wchar_t buffer[64] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(server, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(std::wstring(L"ping, caf\u00e9"), std::wstring(buffer, read / sizeof(wchar_t)));
  CloseHandle(client);
  CloseHandle(server);
  EXPECT_EQ(nullptr, GetPipeHandle(kPath)) << "no server any more";
  EXPECT_EQ(nullptr, GetPipeHandle(""));
}

TEST(IpcPipe, SendingToAMountedFileHandleIsRefused) {
  ASSERT_TRUE(VFSMountFile("C:\\zeq-w23c\\mounted.txt", "data", 4));
  HANDLE mounted = CreateFileExt("C:\\zeq-w23c\\mounted.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, mounted);
  EXPECT_FALSE(SendToPipe(mounted, "x"));
  EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
  CloseHandleExt(&mounted);
}

TEST(IpcPipe, APipeThatIsNotThereCannotBeOpened) {
  EXPECT_EQ(INVALID_HANDLE_VALUE, IPCOpenPipe(""));
  EXPECT_FALSE(IPCPipeExists("zeq-no-such-pipe-w23b"));
  EXPECT_EQ(1, IPCSendText("zeq-no-such-pipe-w23b", "{}"));
}

}  // namespace
