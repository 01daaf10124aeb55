// The SIP record's own data: transaction words, the account and connection
// sections, the fields of the last message built into or parsed out of the
// record, its message texts and custom headers. The platform record
// SIPTransaction (sip/transaction.h) embeds one of these and adds what needs
// the platform (holders, locks, timers, media); everything that reads or
// writes a message works on this part alone.
//
// Records form chains: every record but a registration record is based on
// another, and the account and connection sections are read from the root
// of the chain (SIPGetRootAccount, SIPGetRootConnection). The chain links
// here are plain pointers kept in step with the platform record's holders,
// which keep the records they point to alive.
// Pure logic: standard headers and the foundation's heap only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sip/uri.h"

// ---------------------------------------------------------------------------
// Header blocks of a message.

struct SIPVia {
  int32_t used;
  char protocol[17];  // "%s/%s/%s" of name, version and transport
  char sentBy[129];   // host and port as written
  char branch[129];
  char received[48];  // room for a bracketed IPv6 address
  char maddr[132];
  int32_t rport;      // 0 when absent or given without a value
  int32_t ttl;
  char otherParams[516];
};
constexpr int kSIPViaListSize = 15;
inline void SIPViaClear(SIPVia* via) {
  via->used = 0;
  via->protocol[0] = via->sentBy[0] = via->branch[0] = via->received[0] = via->maddr[0] = 0;
  via->rport = via->ttl = 0;
  via->otherParams[0] = 0;
}

// Sizes of the digest values: one size for realm, nonce, opaque, domain and
// password, large enough for the values real servers send.
constexpr size_t kSIPDigestValueSize = 257;

struct SIPDigestChallenge {
  char realm[kSIPDigestValueSize];  // an empty realm means no challenge
  char scheme[65];                  // "Digest"
  char domain[kSIPDigestValueSize];
  char uri[516];                    // digest-uri of the last computed response
  char username[130];               // the root account's authentication user
  char password[kSIPDigestValueSize];
  char headerName[65];              // "Authorization" or "Proxy-Authorization" once answered
  char nonce[kSIPDigestValueSize];
  char opaque[kSIPDigestValueSize];
  char stale[65];
  char algorithm[65];               // "MD5" when the challenge names none
  char qop[65];                     // the qop chosen: "auth", "auth-int" or empty
  char cnonce[65];
  char nc[9];                       // eight decimal digits
  char response[33];
};

struct SIPReasonBlock {
  char protocol[36];
  int32_t cause;
  char text[132];
};
struct SIPEventBlock {
  char event[129];
  char id[129];
};
struct SIPSubscriptionStateBlock {
  char state[129];
  char reason[129];
  char retryAfter[9];
  char expires[9];
};
struct SIPReferToBlock {
  SIPURI uri;
  char value[516];
};
struct SIPReferredByBlock {
  SIPURI uri;
  char cid[129];
  char value[515];
};
struct SIPReplaces {
  char callId[129];
  char toTag[129];
  char fromTag[130];
  int32_t earlyOnly;
  char value[516];
};

// A counted heap text (foundation heap); length without the terminator.
struct SIPCountedText {
  uint32_t length;
  char* text;
};
void SIPCountedTextSet(SIPCountedText* target, const char* text, size_t length);
void SIPCountedTextFree(SIPCountedText* target);

// The fields of one message.
struct SIPMessageFields {
  char method[36];
  SIPURI requestURI;
  char version[12];
  int32_t statusCode;
  char reason[260];  // the whole reason phrase
  SIPNameAddr to;
  SIPNameAddr from;
  SIPNameAddr contact;
  char callId[132];
  int32_t cseq;
  char cseqMethod[36];
  SIPVia via[kSIPViaListSize];
  SIPRouteSet routes;
  SIPDigestChallenge digest;
  char expires[9];
  char userAgent[132];
  SIPReasonBlock reasonHeader;
  SIPEventBlock event;
  SIPSubscriptionStateBlock subscriptionState;
  SIPReferToBlock referTo;
  SIPReferredByBlock referredBy;
  SIPReplaces replaces;
  char contentType[129];
  char contentLength[19];
  SIPCountedText body;
};

// ---------------------------------------------------------------------------
// Account and connection sections (only the root record's are used).

struct SIPAccountSettings {
  char serverList[16][129];
  int32_t serverIndex;
  char proxyHost[132];
  int32_t proxyRemotePort;  // 5060
  int32_t proxyLocalPort;
  char contactAddress[36];
  int32_t contactPort;
  char displayName[129];
  char user[129];
  char authenticationUser[130];
  uint32_t passwordLength;
  char* password;           // heap text, wiped before it is freed
  char domain[132];
  int32_t outboundMode;     // 2: look servers up by the proxy host
  int32_t routeOptions;
  int32_t natOptions;
  uint32_t testOptions;
  uint32_t options;
  int32_t dtmfPayloadType;  // 101
  int32_t dtmfType;         // 1
  int32_t natKeepAlive;     // seconds
  int32_t rtpFrameSize;     // -10
  char sdpAddress[33];
  char stunServer[131];
  int32_t natType;
  char stunMappedAddress[36];
  int32_t registerExpiration;  // 3600 seconds
  int32_t maxForwards;         // 70
  int32_t registerTimeout;     // 32 seconds
  int32_t callingTimeout;      // 256 seconds
  int32_t sipDiffServ;
  int32_t rtpDiffServ;
};

constexpr int32_t kSIPTransportUDP = 1;
constexpr int32_t kSIPTransportTCP = 2;
constexpr int32_t kSIPTransportTLS = 3;

struct SIPConnectionSettings {
  int32_t transport;  // 1 UDP, 2 TCP, 3 TLS
  int32_t listening;
  int32_t resultCode;
  int32_t stateBits;  // 1 remote connected, 2 registered
  char serverHost[129];
  char serverAddressText[35];
  uint32_t serverAddress;  // IPv4, network order
  int32_t serverPort;
  char listenerAddressText[36];
  uint32_t listenerAddress;
  int32_t listenerPort;
  uintptr_t startupThread, serverListEvent, startupResult;
  uintptr_t waitEvent, receiveEvent;
  int32_t grantedExpiry;
  uintptr_t keepAliveThread;
};

// Fills the account section with its initial values (the password freed
// and wiped first when set, once the section was initialised before).
void SIPAccountSettingsInit(SIPAccountSettings* account);
// Wipes and frees the password.
void SIPAccountSettingsDestroy(SIPAccountSettings* account);
// Replaces the account's password with a heap copy.
void SIPAccountSetPassword(SIPAccountSettings* account, const char* password);

// ---------------------------------------------------------------------------
// Custom headers: name and value pairs in insertion order.

struct SIPHeaderItem {
  SIPHeaderItem* next;
  char* name;
  char* value;
};
class ZEQLock;
struct SIPHeaderList {
  SIPHeaderItem* head;
  SIPHeaderItem* tail;
  ZEQLock* lock;  // script adds while builds read: every use holds it
};
// Makes the list's lock (an empty list); Destroy clears it and frees the lock.
void SIPHeaderListInit(SIPHeaderList* list);
void SIPHeaderListDestroy(SIPHeaderList* list);
void SIPHeaderListAdd(SIPHeaderList* list, const char* name, const char* value);
void SIPHeaderListClear(SIPHeaderList* list);
// Calls visit for every item in order, under the list's lock.
void SIPHeaderListForEach(const SIPHeaderList* list, void (*visit)(void* context, const SIPHeaderItem* item),
                          void* context);

// ---------------------------------------------------------------------------
// Transaction words and the record.

// Message modes.
constexpr int32_t kSIPModeNone = -1;
constexpr int32_t kSIPModeRequest = 0;
constexpr int32_t kSIPModeResponse = 1;
constexpr int32_t kSIPModeDialogRequest = 2;
constexpr int32_t kSIPModeDialogResponse = 3;

// End reasons (bits).
constexpr uint32_t kSIPEndRefused = 0x1;
constexpr uint32_t kSIPEndCancelled = 0x2;
constexpr uint32_t kSIPEndFinalized = 0x4;
constexpr uint32_t kSIPEndRedirected = 0x8;
constexpr uint32_t kSIPEndExpired = 0x10;
constexpr uint32_t kSIPEndDestroyed = 0x80000000u;

// Request method codes (SIPGetRequestMethod).
enum SIPMethodCode : int {
  kSIPMethodNone = 0,
  kSIPMethodProbeRegister = 1,
  kSIPMethodRegister = 2,
  kSIPMethodInvite = 3,
  kSIPMethodAck = 4,
  kSIPMethodBye = 5,
  kSIPMethodCancel = 6,
  kSIPMethodNotify = 7,
  kSIPMethodOptions = 8,
  kSIPMethodInfo = 9,
  kSIPMethodSubscribe = 10,
  kSIPMethodRefer = 11,
  kSIPMethodPrack = 12,
  kSIPMethodMessage = 13,
};
// The method name of a code ("REGISTER" for the probe too); "" for none.
const char* SIPMethodName(int code);

enum SIPTimerSlot { kSIPTimerA, kSIPTimerB, kSIPTimerC, kSIPTimerD, kSIPTimerE, kSIPTimerF, kSIPTimerG,
                    kSIPTimerH, kSIPTimerI, kSIPTimerJ, kSIPTimerK, kSIPTimerL, kSIPTimerCancel,
                    kSIPTimer2xx, kSIPTimerHold, kSIPTimerSlots };

struct SIPRecord {
  // Transaction words.
  int32_t state;
  int32_t kind;         // odd server, even client; -1 no kind yet
  uint32_t endReason;
  int32_t messageMode;
  int32_t authAttempts;
  int32_t sessionCounter;
  int32_t errorCode, errorDetail;
  uint32_t idWords[3];
  int32_t notCounted;
  int32_t userHandled, byTransfer, ringingReported;
  int32_t inputDevice, outputDevice;
  int32_t switches[2];
  int32_t focus, conference, userHold, localHold, remoteHold;

  // Chain links (kept alive by the platform record's holders).
  SIPRecord* based;    // the record this one is based on; null for a root
  SIPRecord* related;  // whose credentials the authorization may borrow
  SIPRecord* request;  // the request this record answers or acknowledges
  int32_t alive;       // 1 from creation to destruction

  SIPAccountSettings account;
  SIPConnectionSettings connection;
  SIPMessageFields msg;

  // Message texts: prepared by the last build, last sent (for
  // retransmission), sent with placeholders filled, last received.
  SIPCountedText prepared, lastMessage, sent, received;
  SIPHeaderList requestHeaders, responseHeaders;
  // The timer slots (kSIPTimerSlots) belong to the platform record, which
  // holds the timer service's records in them.
  int32_t destroyed;
  // The parser's buffers, kept for the parse-back of the next build (made
  // on first use, freed with the record).
  struct SIPNormalizedMessage* parseWork;
};

// Plain initialisation: zero, account section initialised, the header
// lists' locks made, alive. May throw ZEQOutOfMemory (nothing is kept then).
void SIPRecordInit(SIPRecord* record);
// Frees what the record owns (texts, headers, body, password; the digest
// copies wiped). The record may be initialised again afterwards.
void SIPRecordFree(SIPRecord* record);

SIPRecord* SIPGetRootRecord(SIPRecord* record);
SIPAccountSettings* SIPGetRootAccount(SIPRecord* record);
SIPConnectionSettings* SIPGetRootConnection(SIPRecord* record);
const char* SIPGetServiceDomain(SIPRecord* record);
const char* SIPGetTransportName(SIPRecord* record);
bool SIPIsReliableTransport(SIPRecord* record);
inline bool SIPIsRequestMode(int32_t mode) { return mode == kSIPModeRequest || mode == kSIPModeDialogRequest; }
inline bool SIPIsResponseMode(int32_t mode) { return mode == kSIPModeResponse || mode == kSIPModeDialogResponse; }
int SIPKindToMethod(int32_t kind);
inline int SIPTransactionKindToMethod(const SIPRecord* record) { return SIPKindToMethod(record->kind); }
// Copies the message context of source into target; false (only the SIP
// version copied) when the source's mode is neither request nor response.
bool SIPCopyMessageContext(SIPRecord* target, const SIPRecord* source);
