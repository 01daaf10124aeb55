// The script side of the command channel: requests raised as events of the
// main container's page.
#pragma once
#include "host/ipc_message.h"

// A call "Message" with a text raises "KESTOOnIPCMessage" (pipe name, text)
// and, when a reply is given, waits for the handler and adds its string
// answer to the reply; an event raises "KESTOOnIPC<command>" with the
// message's parameters without waiting (a command name longer than
// kIpcEventCommandMax is refused). true when the request went to script.
bool IPCDeliverToScript(const IPCMessage& request, IPCMessage* reply, const char* pipeName);
