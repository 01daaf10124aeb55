// The command channel: a product instance answering this test's process
// over its pipe, and a channel of this process whose stop and replies only
// its own side can decide.
#include "kesto/pipe_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/ipc_message.h"
#include "product_process.h"

namespace {

using product_test::ProductFolder;
using product_test::WaitUntil;

// Writes one message to a pipe and reads what comes back on the same
// connection ("" when the server closes it without an answer).
std::string Exchange(const std::string& pipe, const std::string& text) {
  HANDLE handle = IPCOpenPipe(pipe.c_str());
  if (handle == INVALID_HANDLE_VALUE) return "<no pipe>";
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
  std::string answer = IPCWritePipe(handle, text) == 0 ? IPCReadPipe(handle) : "<not written>";
  CloseHandle(handle);
  return answer;
}

std::string Base64Of(const char* text) {
  IPCMessage message;
  IPCMessageAddString(message, text);
  return IPCMessageParamNarrow(message, 0);
}

std::string MessageCall(const char* text) {
  return "{\"t\":\"c\",\"c\":\"Message\",\"p\":[\"" + Base64Of(text) + "\"]}";
}

// The answer's first parameter as the string it stands for ("<kind>" for a
// reply of another shape).
std::string ReplyString(const std::string& text) {
  IPCMessage reply;
  if (!IPCMessageFromText(text.c_str(), &reply)) return "<no message: " + text + ">";
  if ((reply.kind & kIpcKindMask) != kIpcReply) return "<not a reply: " + text + ">";
  if (reply.params.empty()) return (reply.kind & kIpcUnhandled) ? "<unhandled>" : "<empty>";
  return IPCMessageParamString(reply, 0);
}

// A pipe of this test to which the peer sends a message of its own.
class PeerPipe {
 public:
  explicit PeerPipe(const std::string& name) {
    const std::string path = "\\\\.\\pipe\\" + name;
    pipe_ = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                             kIpcMaxMessage, kIpcMaxMessage, 0, nullptr);
  }
  ~PeerPipe() {
    if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
  }
  bool ok() const { return pipe_ != INVALID_HANDLE_VALUE; }
  // The next message, waiting at most timeoutMs for a client to connect.
  std::string Receive(DWORD timeoutMs) {
    DWORD available = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20)) {
      if (PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr) && available) break;
    }
    if (!available) return "<nothing came>";
    std::string text = IPCReadPipe(pipe_);
    DisconnectNamedPipe(pipe_);
    return text;
  }

 private:
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
};

const char kPage[] =
    "var last = 'none';\n"
    "function KESTOOnIPCMessage(pipe, text) {\n"
    "  if (text == 'last') return last;\n"
    "  if (text == 'nothing') return;\n"
    "  return pipe + ':echo:' + text;\n"
    "}\n"
    "function KESTOOnIPCPing(a, b) { last = 'ping:' + a + ':' + b; }\n";

class ProductChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = "zeq-w23b-ipc-" + std::to_string(GetCurrentProcessId());
    product_.WriteLoader("Loader.html", kPage);
    ASSERT_TRUE(product_.Start("ipcid(" + name_ + ")"));
    ASSERT_TRUE(WaitUntil([&] { return ReplyString(Exchange(name_, MessageCall("up"))) == name_ + ":echo:up"; }))
        << product_.Log();
  }
  void TearDown() override { product_.Kill(); }

  std::string name_;
  ProductFolder product_;
};

struct Request {
  const char* name;
  std::string text;
  std::string answer;  // the reply's string, "<unhandled>", "<empty>" or "" for no reply at all
};

TEST_F(ProductChannel, RequestsAreAnsweredOnTheirConnectionAsTheirKindAsks) {
  const Request requests[] = {
      {"a synchronous Message gets the handler's answer", MessageCall("hello"), name_ + ":echo:hello"},
      {"a Message whose handler answers nothing gets an empty reply", MessageCall("nothing"), "<empty>"},
      {"a get nobody handles is marked unhandled", "{\"t\":\"g\",\"c\":\"Volume\",\"p\":[]}", "<unhandled>"},
      {"a set nobody handles is marked unhandled", "{\"t\":\"s\",\"c\":\"Volume\",\"p\":[3]}", "<unhandled>"},
      {"a call other than Message is marked unhandled", "{\"t\":\"c\",\"c\":\"Other\",\"p\":[]}", "<unhandled>"},
      {"an asynchronous Message gets no reply", "{\"t\":\"c a\",\"c\":\"Message\",\"p\":[\"eA==\"]}", ""},
      {"a text of no known kind is dropped", "{\"t\":\"z\",\"c\":\"Message\",\"p\":[\"eA==\"]}", ""},
      {"a text that is no message is dropped", "not json", ""},
  };
  for (const Request& request : requests) {
    const std::string reply = Exchange(name_, request.text);
    EXPECT_EQ(request.answer, reply.empty() ? "" : ReplyString(reply)) << request.name << "\n" << reply;
  }
}

TEST_F(ProductChannel, AnEventRaisesItsPageFunctionWithTheParameters) {
  EXPECT_EQ("", Exchange(name_, "{\"t\":\"e a\",\"c\":\"Ping\",\"p\":[\"" + Base64Of("x") + "\",3]}"));
  EXPECT_TRUE(WaitUntil([&] { return ReplyString(Exchange(name_, MessageCall("last"))) == "ping:x:3"; }, 10000))
      << product_.Log();
}

TEST_F(ProductChannel, AnEventNameLongerThanItsRoomIsRefused) {
  const std::string longName(kIpcEventCommandMax + 1, 'P');
  EXPECT_EQ("", Exchange(name_, "{\"t\":\"e a\",\"c\":\"" + longName + "\",\"p\":[]}"));
  EXPECT_TRUE(WaitUntil([&] { return product_.Log().find("an event name of 58 characters was refused") != std::string::npos; },
                        10000))
      << product_.Log();
}

TEST_F(ProductChannel, ARequestWithACallbackIsAnsweredThroughTheReplyPipeItNames) {
  const std::string peerName = name_ + "-peer";
  PeerPipe peer(peerName);
  ASSERT_TRUE(peer.ok());
  EXPECT_EQ("", Exchange(name_, "{\"t\":\"c\",\"c\":\"Message\",\"cb\":\"" + peerName + ":k9:abc\",\"p\":[\"" +
                                    Base64Of("back") + "\"]}"));
  IPCMessage reply;
  const std::string text = peer.Receive(10000);
  ASSERT_TRUE(IPCMessageFromText(text.c_str(), &reply)) << text;
  EXPECT_EQ(kIpcReply, reply.kind);
  EXPECT_EQ("k9", reply.callbackName);
  EXPECT_EQ(0xabcu, reply.callbackValue);
  EXPECT_EQ(name_ + ":echo:back", IPCMessageParamString(reply, 0));
}

TEST_F(ProductChannel, ThePipesNameFromAnotherProcessDoesNotStopTheServer) {
  EXPECT_EQ("", Exchange(name_, name_));
  EXPECT_EQ(name_ + ":echo:still", ReplyString(Exchange(name_, MessageCall("still"))));
  EXPECT_TRUE(WaitUntil([&] { return product_.Log().find("a stop request of process") != std::string::npos; }, 10000))
      << product_.Log();
}

// Replies to this process's requests, as its reply routine received them.
std::vector<std::string> received;
bool Record(const IPCMessage& reply, uint64_t callbackId) {
  char id[24];
  std::snprintf(id, sizeof id, "%llx", static_cast<unsigned long long>(callbackId));
  received.push_back(std::string(id) + ":" + IPCMessageParamString(reply, 0));
  return true;
}

// Disabled: on a loaded machine the in-process server sometimes stops
// accepting connections after the first reply (each later send waits its
// whole bound and fails), and the program then hangs at exit. Until that
// is found, the rule that a reply's callback comes from its pending entry
// is covered by the pending table's own tests (host's message tests).
TEST(OwnChannel, DISABLED_AReplyIsHandedTheCallbackOfItsOwnRequestWhateverItsTextSays) {
  const std::string name = "zeq-w23b-own-" + std::to_string(GetCurrentProcessId());
  const std::string peerName = name + "-peer";
  received.clear();
  StopPipeServer();  // a channel of an earlier test of this program
  ASSERT_TRUE(StartPipeServer(name.c_str()));
  PeerPipe peer(peerName);
  ASSERT_TRUE(peer.ok());
  IPCMessage request = IPCMessageConstruct(kIpcCall, "Work");
  ASSERT_EQ(0, PipeServerSendRequest(request, peerName.c_str(), 0x1234, Record));
  IPCMessage sent;
  const std::string text = peer.Receive(10000);
  ASSERT_TRUE(IPCMessageFromText(text.c_str(), &sent)) << text;
  EXPECT_EQ(name, sent.sender);
  EXPECT_EQ(kIpcCall | kIpcAsync, sent.kind);
  const std::string key = sent.callbackName;
  // A reply with a key never issued, then the real key with a forged value,
  // then the same key again.
  EXPECT_EQ(0, IPCSendText(name.c_str(), "{\"t\":\"r\",\"cb\":\"999:1\",\"p\":[\"" + Base64Of("stranger") + "\"]}"));
  EXPECT_EQ(0, IPCSendText(name.c_str(), "{\"t\":\"r\",\"cb\":\"" + key + ":dead\",\"p\":[\"" + Base64Of("ok") + "\"]}"));
  EXPECT_EQ(0, IPCSendText(name.c_str(), "{\"t\":\"r\",\"cb\":\"" + key + ":1234\",\"p\":[\"" + Base64Of("again") + "\"]}"));
  // The last send was accepted only after the server had read the earlier
  // ones (one pipe instance), so all three have been dispatched.
  EXPECT_EQ(0, IPCSendText(name.c_str(), "{\"t\":\"e a\",\"c\":\"Sync\",\"p\":[]}"));
  EXPECT_EQ(std::vector<std::string>{"1234:ok"}, received);
  StopPipeServer();
}

struct StopCase {
  const char* name;
  std::string (*text)(const std::string& name);
};

TEST(OwnChannel, ThisProcessOrTheHolderOfTheTokenStopsTheServer) {
  const StopCase cases[] = {
      {"the pipe's name written by this process", [](const std::string& name) { return name; }},
      {"the instance's token", [](const std::string&) { return PipeServerStopToken(); }},
  };
  StopPipeServer();
  for (const StopCase& c : cases) {
    const std::string name = "zeq-w23b-stop-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(StartPipeServer(name.c_str())) << c.name;
    ASSERT_TRUE(PipeServerRunning()) << c.name;
    ASSERT_LT(name.size() + 16, PipeServerStopToken().size()) << c.name;
    // The client stays connected until the server has read and judged its
    // text, so the server can ask which process it is.
    EXPECT_EQ("", Exchange(name, c.text(name))) << c.name;
    EXPECT_TRUE(WaitUntil([] { return !PipeServerRunning(); }, 10000)) << c.name;
    StopPipeServer();
  }
}

}  // namespace
