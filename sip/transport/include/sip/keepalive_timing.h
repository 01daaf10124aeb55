// When a registered account refreshes its registration and sends NAT
// keep-alive bytes. Times are 32-bit millisecond tick counts; elapsed times
// are their differences modulo 2^32, so a tick count that wraps is harmless.
#pragma once
#include <cstddef>
#include <cstdint>

// The shortest time between two re-registrations, whatever the server
// granted: a granted expiry of a second or two must not make the account
// re-register at every pass of the keep-alive loop.
constexpr uint32_t kSIPMinimumReRegisterMs = 5000;
// A keep-alive on a stream is answered within this time, or the flow is
// taken as broken.
constexpr uint32_t kSIPKeepAliveAnswerMs = 10000;

// The time from one re-registration to the next for a granted expiry in
// seconds: the expiry less a tenth of it (at least a second), never below
// the minimum; 0 when the expiry is 0 or below (no refresh).
uint32_t SIPReRegisterIntervalMs(int32_t grantedExpiry);
bool SIPReRegisterDue(uint32_t now, uint32_t lastReRegister, int32_t grantedExpiry);

// The time between two keep-alives for the account's NATKeepAlive seconds;
// 0 (off) when the setting is 0 or below.
uint32_t SIPKeepAliveIntervalMs(int32_t natKeepAlive);
bool SIPKeepAliveDue(uint32_t now, uint32_t lastKeepAlive, int32_t natKeepAlive);

// On a stream: the previous keep-alive (tick not 0) got no answer when the
// last receive lies before it or more than the answer time after it.
bool SIPKeepAliveAnswerMissing(uint32_t lastKeepAliveTick, uint32_t lastReceiveTick);

// The keep-alive bytes of a transport: CR LF CR LF on a stream, CR LF on a
// datagram socket.
const char* SIPKeepAlivePayload(bool stream, size_t* length);
