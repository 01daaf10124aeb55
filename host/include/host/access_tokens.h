// Access tokens: a page creates one to let other code act for it (a value,
// a text and the id of its container). Script holds a token as a 32-bit
// number that is no address: an unguessable id issued from a process-wide
// table, looked up on every use. A forged number, or the id of a token that
// was released, names nothing, whatever its memory still holds.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/records.h"

constexpr char kZEQAccessTokenTag[] = "+ZEQIBCACCESSTOKEN";
constexpr size_t kZEQAccessTokenTextSize = 264;

struct ZEQIBCAccessToken {
  ZEQTypedRecord header;   // "+ZEQIBCACCESSTOKEN", serial 0
  uint32_t relateToThread; // 1 when the creating call's options hold "relatetothread"
  uint32_t value;          // the integer the page gave
  uint32_t containerId;    // the container that created the token
  char text[kZEQAccessTokenTextSize];

  // Writes the tag, the three words and a copy of the text (cut to fit).
  static ZEQIBCAccessToken* Init(ZEQIBCAccessToken* record, uint32_t relateToThread, uint32_t value,
                                 uint32_t containerId, const char* text);
};
static_assert(sizeof(ZEQIBCAccessToken) == 348, "an access token record is 348 bytes");

// Issues a token: the thread flag from the option text (the word
// "relatetothread", any case). The token's id (never 0), which script
// receives.
uint32_t ZEQAccessTokenCreate(const char* options, uint32_t value, uint32_t containerId, const char* text);
// A copy of the live token of that id; false for any other number.
bool ZEQAccessTokenLookup(uint32_t id, ZEQIBCAccessToken* copy);
// Releases the token; later look-ups of the id fail. false when the id
// names no live token.
bool ZEQAccessTokenRelease(uint32_t id);
// Releases every token of a container (when it closes); the number released.
int ZEQAccessTokenReleaseContainer(uint32_t containerId);

// TRUE only for the record of a live token: a pointer that is no record of
// the table (forged, stale, a small number) is refused without being read.
bool IsAccessToken(const void* pointer);
