// Listener start-up: the account's server list from DNS SRV (or the service
// domain itself), then each server tried in order until one registers.
// The steps that need the connections layer and the user agent (listener
// socket, events, REGISTER) are installed by them; until they are, a try
// fails at once (logged) and nothing is reported as connected.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

// Results: 0; 2 no DNS query function (or, for the thread, no start-up
// steps installed); 501 neither SRV records nor the host
// itself could be resolved; 105 the account is already started.
constexpr int kSIPStartupNoDns = 2;
constexpr int kSIPStartupNotResolved = 501;
constexpr int kSIPStartupAlreadyStarted = 105;

// Fills the root connection's server host text and the account's server
// list (see sip/server_list.h) from the service domain.
int SIPPrepareServersList(const SIPTransactionHolder& record);

// What a server try needs of the connections layer and the user agent.
// Every step gets the registration record.
struct SIPStartupSteps {
  // Claims the account key ("user@domain") in the listener list; false
  // when it is there already.
  bool (*claimAccountKey)(const char* key, const SIPTransactionHolder& record);
  // Asks for the NAT type through STUN (may be null).
  void (*queryNatType)(const SIPTransactionHolder& record);
  // Creates the listener socket bound to localPort on every interface,
  // learns its local address and stores it as the listener and contact
  // address; false when it cannot be made or bound.
  bool (*openListener)(const SIPTransactionHolder& record, int32_t localPort, uintptr_t* socket);
  // Raises "!ZEQOnSIPLocalConnect" and lets the listener take connections.
  void (*startListening)(const SIPTransactionHolder& record, uint32_t serverAddress, int32_t serverPort,
                         uintptr_t socket);
  // Sends the REGISTER probe; false when it could not be sent.
  bool (*sendProbe)(const SIPTransactionHolder& record);
  // Sends the REGISTER. The user agent sets the connection's wait event
  // when the REGISTER reaches its outcome, and the listening flag when it
  // succeeded. False when it could not be sent.
  bool (*sendRegister)(const SIPTransactionHolder& record);
  // Tells the record to close its connections after a failed try.
  void (*signalToClose)(const SIPTransactionHolder& record);
  // Releases the listener socket of a failed try.
  void (*releaseListener)(const SIPTransactionHolder& record, uintptr_t socket);
  // Raises the close events (and frees the account key) when no server
  // took the registration.
  void (*invokeCloseEvents)(const SIPTransactionHolder& record);
};

// Installs the steps (copied; every one must be set except queryNatType);
// null removes them, and the start-up thread then ends with 2 without
// trying any server.
void SIPInstallStartupSteps(const SIPStartupSteps* steps);

// The start-up thread: the argument is an auto-free marshal packet of the
// registration record (ZEQNewMarshalPacket). Returns 0 after the loop, the
// server-list result when it is not 0, or 105 when the account is already
// started.
DWORD WINAPI thSIPStartListener(void* packet);
