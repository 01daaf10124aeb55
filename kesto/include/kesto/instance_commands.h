// Commands between running instances: a numbered command with a text,
// written into a named shared-memory block ("KESTO." and the target's
// identity, in the session namespace) and announced to the target's main
// window with CMSG_KESTONOTIFY (wParam: the block's size, lParam: the
// command id); the single-instance hand-off that a second start makes with
// it; the instance identity by which others find this instance; and the
// thread that ends a child instance once its main instance is gone.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Command ids.
constexpr int32_t kInstanceCommandGetInfo = -1;
constexpr int32_t KESTOMC_KESTOINSTANCEMSG = -2;  // a second start's command line
// The block's state word.
constexpr uint32_t kInstanceStateSent = 0;
constexpr uint32_t kInstanceStateWorking = 1;
constexpr uint32_t KESTOMR_STATE_DONE = 2;
// Result word while the receiver works (ZEQERROR_GENERALFAILURE).
constexpr int32_t kInstanceResultFailure = 2;
// The answer of "ZEQOnKESTOInstanceMsg" that makes a second start end.
constexpr int32_t kInstanceAnswerExit = 0x2002;

// Send flag: wait for the reply.
constexpr uint32_t kInstanceSendWait = 0x1;

// Sizes of the block: the header, the GETINFO area a sender provides and
// the message area of user commands.
constexpr size_t kInstanceHeaderSize = 24;
constexpr size_t kInstanceGetInfoArea = 2460;
constexpr size_t kInstanceUserArea = 0x10000;
// Offsets of the GETINFO record in the message area.
constexpr size_t kInfoApplicationId = 0;
constexpr size_t kInfoName = 4;
constexpr size_t kInfoVersion = 0x405;
constexpr size_t kInfoVersionName = 0x606;
constexpr size_t kInfoPublisherId = 0x808;
constexpr size_t kInfoStartupMode = 0x80C;
constexpr size_t kInfoDescriptorWord = 0x810;
constexpr size_t kInfoHostVersion = 0x814;
constexpr size_t kInfoExecutablePath = 0x855;
constexpr size_t kInfoPlatformVersion = 0x95A;

#pragma pack(push, 4)
struct InstanceCommandHeader {
  int32_t versionMajor;    // 3
  int32_t versionRelease;  // 7
  int32_t versionBuild;    // 121
  uint32_t window;         // the sender's main container window, or 0
  volatile LONG state;
  volatile LONG result;
};
#pragma pack(pop)
static_assert(sizeof(InstanceCommandHeader) == kInstanceHeaderSize, "the block's header is 24 bytes");

// Sends a command to the main window target whose identity text (its title)
// is given. length: the message's length, or -1 for its length up to the
// NUL. message is in/out: after a reply its first length bytes are the
// message area's. With kInstanceSendWait the call polls the block's state
// every 10 ms (pumping messages) until it is KESTOMR_STATE_DONE or timeout ms
// have passed. A new heap copy of the block's header (the caller frees it)
// when the state reached KESTOMR_STATE_DONE, else null; every failure is
// logged.
InstanceCommandHeader* KESTOInstanceSendCommand(const char* identity, int length, HWND target, int32_t id,
                                                char* message, DWORD timeout, uint32_t flags);

// The receiver's side, run by the main window for CMSG_KESTONOTIFY: opens
// the block named after this instance's identity, checks that the view
// really holds the header and the area the command writes, serves the
// command (GETINFO, the second start's command line, user commands through
// the loader page's handlers) and marks the block done. Every text it reads
// is bounded by the block.
void KESTOInstanceReceiveCommand(WPARAM blockSize, LPARAM id);

// This instance's identity: a mutex named after the instance title, the
// main window's title set to it. 0 when made, 105 when another process
// holds that identity, 2 on failure or while one is held.
int CreateInstanceIdentity(const char* name);
// Drops the identity: title back to the class name, mutex closed; 0, or 2
// when none is held.
int CloseInstanceIdentity();
// The identity text (the main window's title), empty while none is held.
const char* InstanceIdentityText();

// True when the window is the main window of another process of this same
// executable (same path) run by this same user: the only window the hand-off
// hands a command line to.
bool IsTrustedInstanceWindow(HWND window);

// A second start of an instance: when a trusted main window with the
// instance's title exists, hands it the command line (-2, 5000 ms) and ends
// the process with exit code 0 when it answers 0x2002; otherwise returns
// and this instance goes on starting. With the restart flag, waits up to
// 10 s for the old instance to go away first.
void InstanceHandOff(const char* instanceName);

// The child's watch over its main instance (a thread procedure): finds the
// main instance's pipe "\\.\pipe\<name>", takes the process that serves it
// and ends this process (KESTOTerminate) once that process has ended. A busy
// pipe is waited for, never taken as the main instance's end; a pipe that
// does not exist means the main instance is gone.
DWORD WINAPI MonitorMainProcess(void* unused);
