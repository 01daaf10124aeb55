// The STUN client over Winsock: the NAT-type test of an account's STUN
// server and the parts of it the listener start-up calls.
#pragma once
#include <cstdint>

#include "sip/record.h"

// Fills the account's NATType and STUNMappedAddress once (an account whose
// NATType is not 0 is never tested again); nothing without a STUN text.
// Always 1. The user agent's listener start-up calls it after binding the
// listener, before the first REGISTER.
int SIPGetSTUNInfo(SIPAccountSettings* account);

// The NATType word of the server named by server ("host[:port]"), the
// mapped address as dotted text in addressText (36 bytes, may be NULL).
// 0 when the text names no usable server (the test may be tried again).
// sourcePort 0 draws the usual random port (16384 to 32767).
uint32_t STUNDetectNAT(const char* server, char* addressText, int sourcePort = 0);

// Runs the test from sockets on sourcePort and sourcePort + 1 (0: any)
// against address:port (host order); the classification code (media/
// stun_probe.h), 1 when the sockets could not be opened. The outputs are
// written when the server answered the first test.
int STUNTestNAT(uint32_t serverAddress, int serverPort, uint32_t* mappedAddress, int* mappedPort, bool* portPreserved,
                bool* hairpin, int sourcePort);

// "host[:port]": the port (3478 without one or with trailing characters
// after its digits; below 1024 or above 65534 fails) and the IPv4 address in
// host order. A dotted address is taken as written, a name is looked up.
// False (nothing written) on a bad port or an unknown name.
bool STUNParseHostName(const char* text, int* port, uint32_t* address);
