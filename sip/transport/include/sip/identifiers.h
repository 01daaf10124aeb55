// Via branches, dialog tags and the reason phrases of responses.
// Branches and tags come from the MD5 digest of a fresh UUID text, so they
// are unpredictable and need no counter.
#pragma once
#include <cstddef>

struct SIPRecord;

constexpr size_t kSIPBranchLength = 39;  // "z9hG4bK" and 32 hex digits
constexpr size_t kSIPTagLength = 16;

// A new UUID in its 36-character lower-case text form; false when the
// system made none. Provided by the platform layer of the build.
bool SIPNewUuidText(char text[37]);

// Writes a new branch into the record's first Via entry; false (branch
// unchanged) when no UUID could be made.
bool SIPGenerateBranch(SIPRecord* record);
// Writes a new 16-character tag and its terminator into out (when given);
// false when no UUID could be made.
bool SIPGenerateTag(char* out);
// The reason phrase of a status code; "Undefined" for codes not listed.
const char* SIPStatusCodeToText(int code);
