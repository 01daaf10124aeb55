// Which events a registration that closes raises before its own end
// event (pure logic).
#pragma once
#include <cstdint>

namespace sipagent {

// Connection state bits of a registration.
constexpr int32_t kConnectionRemoteConnected = 1;  // the registrar had answered
constexpr int32_t kConnectionRegistered = 2;

struct CloseEvent {
  const char* name;  // forced: delivered while the account does not listen
  int number;
  int32_t code;      // the one argument; 0: none
};

// While the listener start-up still runs, only its failure is told
// ("!ZEQOnSIPError" with the result code, when there is one); otherwise
// "!ZEQOnSIPUnRegister" for a registered account and then
// "!ZEQOnSIPRemoteDisconnect" when its registrar had answered, each
// clearing its bit in *stateBits, so a second close repeats neither.
// Writes up to two events into out and returns their number.
int PlanCloseEvents(bool startupRunning, int32_t* stateBits, int32_t resultCode, CloseEvent out[2]);

}  // namespace sipagent
