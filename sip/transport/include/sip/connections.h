// SIP sockets and the process-wide connection list: every socket the stack
// reads from, tied to the record that owns it and to the peer it talks to.
// Sockets are shared through holders; the last holder closes the socket
// unless it was closed explicitly before (its number may already belong to
// a new socket by then).
#pragma once
#include <winsock2.h>

#include <cstdint>

#include "foundation/named_lock.h"
#include "foundation/shared_handle.h"
#include "sip/socket_holder.h"
#include "sip/stream_framing.h"
#include "sip/transaction.h"

struct SIPSOCKET {
  SOCKET socket;
  ZEQNamedLock lock;  // "SIPSOCKET": one send at a time
  volatile LONG lastKeepAliveTick;  // 0 until a keep-alive was sent
  volatile LONG lastReceiveTick;
  volatile LONG closed;             // 1 once the number was closed explicitly
  SIPStreamFramer framer;           // what arrived on a stream, not yet a whole message
};

// Wraps a socket number in a new record (counted); the record owns it.
SIPSocketHolder SIPNewSocket(SOCKET socket);
long SIPLiveSocketCount();
// Closes the number now, once; the record keeps living for its holders.
void SIPSocketCloseExplicitly(SIPSOCKET* socket);

// Event masks of connection entries.
constexpr uint32_t kSIPSocketEvents = FD_READ | FD_CLOSE;                    // 0x21
constexpr uint32_t kSIPListeningEvents = FD_READ | FD_ACCEPT | FD_CLOSE;     // 0x29

// Sockets are registered for notifications with the network library's
// window and CMSG_WSA_SIPTCP_EVENTMESSAGE, whose window procedure calls
// SIPHandleSocketEvent. It dispatches one notification by event: FD_READ to SIPListenerOnSocketEvent,
// FD_ACCEPT to SIPAcceptTCPConnection, FD_CLOSE to SIPConnectionListRemove.
void SIPHandleSocketEvent(WPARAM socket, LPARAM event);

// A socket for the root record's transport (TCP or UDP), TCP_NODELAY on
// streams, 30 s send and receive time-outs; empty on failure (logged).
SIPSocketHolder SIPCreateSocket(const SIPTransactionHolder& record);
int SIPBindSocketToAddrAny(SOCKET socket, int port);
// Registers the socket for notifications and lists it, owned by record.
int SIPListenerListenMessages(uint32_t peerAddress, int peerPort, const SIPTransactionHolder& record,
                              const SIPSocketHolder& socket, uint32_t events);
// A TCP listener listens (mask 0x29), a UDP one only reads (0x21).
void SIPListenerAcceptConnections(uint32_t serverAddress, int serverPort, const SIPTransactionHolder& record,
                                  const SIPSocketHolder& socket);
int SIPAcceptTCPConnection(SOCKET listening);
// A connection of the record's account to the peer (never a listening one).
SIPSocketHolder SIPFindConnectionSocket(const SIPTransactionHolder& record, uint32_t peerAddress, int peerPort);
// The record's own listening (or, with the flag clear, non-listening) socket.
SIPSocketHolder SIPGetConnectionSocket(const SIPTransactionHolder& record, bool listening);
int SIPCloseAllConnectionsRelated(SOCKET socket);
int SIPCloseRootRelatedConnections(const SIPTransactionHolder& root);
int SIPConnectionListRemove(SOCKET socket);
int SIPDropFailedConnection(const SIPSocketHolder& socket);
int SIPSetListenerAddress(const SIPTransactionHolder& record, uint32_t address, int port);
// The local address of the interface towards the record's server (else of
// the computer's name) and the socket's local port; 0 when unknown.
int SIPGetListenetSocketLocalInfo(const SIPTransactionHolder& record, SOCKET socket, uint32_t* address, int* port);

// The listener list: one start-up per account key ("user@domain"). Claim
// adds the key for the record and is false when it is there already.
bool SIPListenerListClaim(const char* key, const SIPTransactionHolder& record);
void SIPListenerListRelease(const char* key);
size_t SIPConnectionCount();

// What the receiver needs of a listed socket: its owner and record.
bool SIPLookupConnection(SOCKET socket, SIPTransactionHolder* owner, SIPSocketHolder* holder, uint32_t* events);

// Accepted stream connections that carried nothing for idleMs are closed
// (a peer that connects and stays silent, or announces a body it never
// sends, must not hold a socket for ever); the number closed.
constexpr uint32_t kSIPAcceptedIdleMs = 64000;
int SIPCloseIdleAcceptedConnections(uint32_t now, uint32_t idleMs);
// Notes activity on a listed socket (data received).
void SIPNoteConnectionActivity(SOCKET socket, uint32_t now);

// The account owner look-up of received messages, over the connection list.
SIPTransactionHolder SIPFindConnectionOwnerByUser(const char* account);
