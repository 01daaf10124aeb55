// Keeping a registered account reachable: a thread per registration that
// re-registers before the registration expires and sends NAT keep-alive
// bytes on the account's connection to its server (NATKeepAlive seconds
// apart; 0 sends none). Schedules: sip/keepalive_timing.h.
#pragma once
#include <cstdint>

#include "sip/transaction.h"

struct SIPKeepAliveState {
  uint32_t lastReRegister;
  uint32_t lastKeepAlive;
};

// One pass of the loop at tick now: the re-REGISTER when due, then the
// keep-alive when due and the account has a connection to its server.
// Returns the keep-alive bytes sent (0 for none).
int SIPKeepAlivePass(const SIPTransactionHolder& registration, SIPKeepAliveState* state, uint32_t now);

// Starts the thread for the registration (its handle kept in the
// connection section); it passes four times a second until the record's
// end reason is set. False when it could not start.
bool SIPStartKeepAlive(const SIPTransactionHolder& registration);
