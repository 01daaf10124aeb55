// Command messages between processes over named pipes ("\\.\pipe\<name>").
// Every exchange is one JSON object: the kind ("t"), the command ("c"), an
// optional callback ("cb": "<sender>:<name>:<hex value>") and a list of typed
// parameters ("p"). Strings travel as Base64 of their ANSI form. The text is
// written and read with JsonCpp, so names and values are always escaped;
// texts of peers that use single quotes are read as well.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/lock.h"

struct JSArray;

// Kind bits; one of the first five, plus modifiers.
constexpr uint32_t kIpcCall = 0x1;       // "c"
constexpr uint32_t kIpcGet = 0x2;        // "g"
constexpr uint32_t kIpcSet = 0x4;        // "s"
constexpr uint32_t kIpcEvent = 0x8;      // "e"
constexpr uint32_t kIpcReply = 0x10;     // "r": carries no command
constexpr uint32_t kIpcKindMask = 0x1F;
constexpr uint32_t kIpcAsync = 0x80000000;      // " a": no reply on the connection
constexpr uint32_t kIpcUnhandled = 0x40000000;  // " u": nobody handled the request

// Parameter kinds (IPCMessageParamKind).
constexpr int kIpcParamNone = 0;
constexpr int kIpcParamString = 1;
constexpr int kIpcParamInt = 2;
constexpr int kIpcParamBool = 3;
constexpr int kIpcParamDouble = 4;
constexpr int kIpcParamOther = 5;

// One message per pipe connection, at most this many bytes.
constexpr size_t kIpcMaxMessage = 32768;

struct IPCParam {
  std::wstring type;   // "s", "i", "d", "b" or a type of the peer's own
  std::wstring value;  // "s": Base64 text; others: the value as text
};

struct IPCMessage {
  uint32_t kind = 0;
  std::string sender;        // reply pipe named by a received request
  std::string callbackName;  // the request's callback key
  uint64_t callbackValue = 0;
  std::string command;
  std::vector<IPCParam> params;

  // Empties every field.
  void Reset();
};

// An empty message of a kind with a command.
IPCMessage IPCMessageConstruct(uint32_t kind, const char* command);

// Parameters: each appender adds one at the end.
void IPCMessageAddBool(IPCMessage& message, bool value);
void IPCMessageAddDouble(IPCMessage& message, double value);
void IPCMessageAddInt64(IPCMessage& message, int64_t value);
// A text that already is Base64, added as "s" unchanged.
void IPCMessageAddText(IPCMessage& message, const char* base64);
void IPCMessageAddWideText(IPCMessage& message, const wchar_t* base64);
// A plain string: encoded in Base64 first, then added as "s".
void IPCMessageAddString(IPCMessage& message, const char* text);
void IPCMessageAddTyped(IPCMessage& message, const wchar_t* type, const wchar_t* value);

// Reading parameter i; an index out of range reads as empty (kind 0).
int IPCMessageParamKind(const IPCMessage& message, size_t i);
std::wstring IPCMessageParamText(const IPCMessage& message, size_t i);
std::string IPCMessageParamNarrow(const IPCMessage& message, size_t i);
// The string as it was sent (the Base64 value decoded); empty when the value
// is no Base64.
std::string IPCMessageParamString(const IPCMessage& message, size_t i);
int64_t IPCMessageParamInt64(const IPCMessage& message, size_t i);
double IPCMessageParamDouble(const IPCMessage& message, size_t i);
bool IPCMessageParamBool(const IPCMessage& message, size_t i);

// The parameters as script values, in order: strings decoded, integers,
// doubles and booleans; other kinds leave their element empty (null).
void IPCMessageToScriptArray(const IPCMessage& message, JSArray* array);

// The message's text. A request with a callback names its sender with the
// placeholder "%id%" (IPCMessageSetSender fills it in).
std::string IPCMessageToText(const IPCMessage& message);
// Fills the message from a text; false (message emptied) when the text is
// no JSON object.
bool IPCMessageFromText(const char* text, IPCMessage* message);
// Replaces the sender placeholder of a request's callback with the
// endpoint's pipe name (escaped for JSON).
void IPCMessageSetSender(const char* pipeName, std::string* text);

// An endpoint's request identifiers and the replies it waits for.
class IPCEndpoint {
 public:
  explicit IPCEndpoint(const char* name = "");
  std::string Name() const;
  // The next identifier ("%d" of the counter), stored with its entry.
  std::string NewRequestId(uintptr_t entry);
  // true when the entry was there.
  bool RemovePending(const std::string& id);
  // The entry, or 0.
  uintptr_t FindPending(const std::string& id);
  // Removes and answers the entry (0 when none) in one step.
  uintptr_t TakePending(const std::string& id);
  // Removes and answers the entries that waited maxAgeMs or longer, then the
  // oldest ones beyond the newest keep: a reply that never comes must not
  // hold its entry for the endpoint's whole life.
  std::vector<uintptr_t> TakeStale(DWORD maxAgeMs, size_t keep);

 private:
  struct Pending {
    uintptr_t entry;
    LONG order;  // the counter value of its identifier
    DWORD tick;  // when it was stored
  };
  std::string name_;
  volatile LONG counter_ = 0;
  ZEQLock lock_;
  std::map<std::string, Pending> pending_;
};

// Client side of a pipe. The name is the pipe's own ("app1"), not its path.
// Opening retries a busy pipe (waits of up to 100 ms, at most 300 times);
// INVALID_HANDLE_VALUE when it cannot be opened or the name is empty.
HANDLE IPCOpenPipe(const char* name);
bool IPCPipeExists(const char* name);
// 0 written, 4 failed.
int IPCWritePipe(HANDLE pipe, const std::string& text);
// Reads one whole message: the chunks of a long message are joined; a busy
// pipe is read again a bounded number of times; a broken pipe or any other
// error ends the read with what has arrived. At most limit bytes are kept.
std::string IPCReadPipe(HANDLE pipe, size_t limit = 1024 * 1024);
// Opens the pipe, switches it to message mode and writes the text (no
// reply is read). 0 sent, 1 pipe cannot be opened, 2 message mode cannot
// be set, 4 write failed.
int IPCSendText(const char* name, const std::string& text);

// Plain pipe access by path ("\\.\pipe\name", a leading "zeq:" ignored):
// opened for reading and writing, not shared, existing only. A busy pipe
// is waited for up to 100 ms and tried again, at most 10 times. Null when
// it cannot be opened (logged with the last error).
HANDLE GetPipeHandle(const char* path);
// Writes the narrow text as UTF-16 (its converted length, no terminator).
// A mounted-file handle is refused with ERROR_INVALID_HANDLE. The write's
// success; a failure is logged.
BOOL SendToPipe(HANDLE pipe, const char* text);
