// The shared holder of a SIP socket record (sip/connections.h), named apart
// so that a transaction record can keep the connection it answers on.
#pragma once
#include "foundation/shared_handle.h"

struct SIPSOCKET;
void SIPSocketDelete(SIPSOCKET* socket);
template <>
struct ZEQPayloadTraits<SIPSOCKET> : ZEQPayloadPolicy<SIPSOCKET, SIPSocketDelete, ZEQPayloadFree::ByDeleter> {};
using SIPSocketHolder = ZEQSharedHandle<SIPSOCKET>;
