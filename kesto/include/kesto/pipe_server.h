// The instance's command channel: the named pipe "\\.\pipe\<IPC identifier>"
// by which other processes find this instance alive and send it one command
// message per connection (host/ipc_message.h). Requests become script events
// of the main container ("KESTOOnIPCMessage", "KESTOOnIPC<command>") and are
// answered on the connection or, when they name a reply pipe, by a message
// to that pipe. The channel also sends messages and requests whose replies
// come back to this instance's pipe.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "host/ipc_message.h"

// Starts the server thread and waits (bounded) until it has created its pipe
// or given up; true when the pipe exists (this server's or, when another
// process already serves the name, that one's).
bool StartPipeServer(const char* identifier);
// Asks the server thread to end and waits for it (bounded).
void StopPipeServer();
// True while this process's server owns the pipe.
bool PipeServerRunning();

// The text that stops the server when a client other than this process
// writes it as a whole message: unguessable, made anew for every start.
// The pipe's name alone stops it only when this process writes it and stays
// connected until the server has read it (its process id is asked then).
std::string PipeServerStopToken();

// Runs a message that the server posted to the main window as
// CIPCMsgBaseOnCommand (wParam: the channel's number, lParam: the message's
// number). Numbers that name no waiting message are ignored.
void PipeServerDispatch(WPARAM channel, LPARAM message);

// Called with a reply to a request of SendRequest: callbackId is the value
// given when the request was sent (never the one the reply's text names).
// true when a callback was raised.
using IPCReplyRoutine = bool (*)(const IPCMessage& reply, uint64_t callbackId);
// The routine of script requests: raises, without waiting, the script
// function whose Global Interface Table cookie is the id's high word on the
// window of its low word, with the reply's parameters.
bool IPCReplyCallback(const IPCMessage& reply, uint64_t callbackId);

// Sends a message to a pipe; a message other than a reply goes as
// asynchronous. The IPCSendText code (0 sent).
int PipeServerSendMessage(const char* pipe, IPCMessage& message);
// Sends a request whose reply comes back to this instance's pipe and is
// handed to routine with callbackId; 1 when no key could be made (the
// channel is not running).
int PipeServerSendRequest(IPCMessage& message, const char* pipe, uint64_t callbackId,
                          IPCReplyRoutine routine = IPCReplyCallback);

// The longest command name of an event: the event's name "KESTOOnIPC<command>"
// has at most 67 characters.
constexpr size_t kIpcEventCommandMax = 57;
