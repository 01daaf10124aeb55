// The account's server list: the service domain's DNS SRV records in the
// order they are tried, or the domain itself. Pure: the records come from
// the caller.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/dns_message.h"
#include "sip/record.h"

constexpr int kSIPServerListSize = 16;

// Splits "host[:port]". 1 when the text holds a colon: host is the part
// before it and port the number after it (a port that is no number from 1
// to 65535 gives the default); 0 otherwise: host is the whole text and port
// gets the default when the default is not 0. host may be text itself (it
// is then cut at the colon); it holds hostSize characters with the
// terminator and a longer host is cut. port may be null.
int SplitHostPort(char* text, char* host, size_t hostSize, int32_t* port, int32_t defaultPort);

// Writes the SRV records into the account's server list from entry 0:
// "target:port", ordered by priority (lowest first), records of one
// priority by target name and port without regard to case (the weight takes
// no part); a record equal to one before it is kept once; at most 16.
// Entries after the last one written keep what they held. found, when set,
// is called with each record's "priority:target:port" text in order.
// Returns the number of entries written.
int SIPFillServerList(SIPAccountSettings* account, const std::vector<net::DnsSrvRecord>& records,
                      void (*found)(const char* text, void* context), void* context);
