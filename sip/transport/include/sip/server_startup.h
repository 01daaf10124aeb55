// Listener start-up: the account's server list from DNS SRV (or the service
// domain itself), then each server tried in order until one registers.
// The listener socket comes from the connections layer; the REGISTER, its
// probe and the events belong to the user agent, which installs them; until
// it does, no start-up runs (logged) and nothing is reported as connected.
#pragma once
#include <cstdint>
#include <string>

#include "sip/transaction.h"

// Results: 0; 2 no DNS query function (or, for the thread, no REGISTER
// step installed); 501 neither SRV records nor the host
// itself could be resolved; 105 the account is already started.
constexpr int kSIPStartupNoDns = 2;
constexpr int kSIPStartupNotResolved = 501;
constexpr int kSIPStartupAlreadyStarted = 105;

// Fills the root connection's server host text and the account's server
// list (see sip/server_list.h) from the service domain.
int SIPPrepareServersList(const SIPTransactionHolder& record);

// What a server try needs of the connections layer and the user agent.
// Every step gets the registration record. The connection steps (claim,
// open, listen, release, close) have defaults of the connections layer;
// the user agent's steps (probe, REGISTER, close events, events) have
// none that registers anything.
struct SIPStartupSteps {
  // Claims the account key ("user@domain") in the listener list; false
  // when it is there already. Default: SIPListenerListClaim.
  bool (*claimAccountKey)(const char* key, const SIPTransactionHolder& record);
  // Asks for the NAT type through STUN (may be null).
  void (*queryNatType)(const SIPTransactionHolder& record);
  // Creates the listener socket bound to localPort on every interface,
  // learns its local address and stores it as the listener and contact
  // address; false when it cannot be made or bound. Default: a socket of
  // the record's transport (SIPCreateSocket, SIPBindSocketToAddrAny,
  // SIPGetListenetSocketLocalInfo, SIPSetListenerAddress); *socket is its
  // number.
  bool (*openListener)(const SIPTransactionHolder& record, int32_t localPort, uintptr_t* socket);
  // Lets the listener take connections. Default: SIPListenerAcceptConnections
  // (a TCP listener listens; the socket is listed for notifications).
  void (*startListening)(const SIPTransactionHolder& record, uint32_t serverAddress, int32_t serverPort,
                         uintptr_t socket);
  // Sends the REGISTER probe; false when it could not be sent. Default:
  // none sent.
  bool (*sendProbe)(const SIPTransactionHolder& record);
  // Sends the REGISTER. The user agent sets the connection's wait event
  // when the REGISTER reaches its outcome, and the listening flag when it
  // succeeded. False when it could not be sent. Without it no start-up
  // runs (the thread ends with 2).
  bool (*sendRegister)(const SIPTransactionHolder& record);
  // Tells the record to close its connections after a failed try.
  // Default: SIPCloseRootRelatedConnections.
  void (*signalToClose)(const SIPTransactionHolder& record);
  // Releases the listener socket of a failed try. Default: the socket
  // leaves the connection list and is closed.
  void (*releaseListener)(const SIPTransactionHolder& record, uintptr_t socket);
  // Raises the close events and frees the account key when no server took
  // the registration. Default: only the key is freed
  // (SIPListenerListRelease).
  void (*invokeCloseEvents)(const SIPTransactionHolder& record);
  // Raises "!ZEQOnSIPLocalConnect" once the listener's address is known,
  // before it listens (may be null).
  void (*localConnect)(const SIPTransactionHolder& record);
};

// Installs the steps (copied); a null step takes its default (see above),
// and null removes them all: the start-up thread then ends with 2 without
// trying any server.
void SIPInstallStartupSteps(const SIPStartupSteps* steps);

// The account key of the listener list: "%s@%s" of the escaped user and
// the service domain.
std::string SIPStartupAccountKey(const SIPTransactionHolder& record);

// The start-up thread: the argument is an auto-free marshal packet of the
// registration record (ZEQNewMarshalPacket). Returns 0 after the loop, the
// server-list result when it is not 0, or 105 when the account is already
// started.
DWORD WINAPI thSIPStartListener(void* packet);
