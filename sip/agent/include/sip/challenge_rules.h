// What the user agent decides when a request is challenged (401, 407) that
// needs no platform: the header the credentials go under, how the request
// kind is sent again, and whether a challenge is answered at all.
//
// Re-authentication is bounded. Within one attempt of a request (from the
// time it is pushed until it ends) the first challenge is answered; a
// later one only when it says stale=TRUE with a nonce not answered before,
// and never more than kMaxChallengeAnswers times in all. A server that
// keeps challenging, or repeats a stale nonce, ends the attempt in its
// final error instead of a loop of resends.
// Pure logic: standard headers, the foundation's lock and MD5 only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "foundation/lock.h"
#include "foundation/md5.h"

namespace sipagent {

// "Authorization" for 401, "Proxy-Authorization" for 407, null otherwise.
const char* CredentialsHeaderName(int status);

// How a challenged request goes out again, by transaction kind.
enum class ChallengeResend {
  kNone,        // a kind without a resend (OPTIONS, INFO, MESSAGE, ...)
  kRegister,    // an open REGISTER: sent again as a refresh
  kUnregister,  // an ended REGISTER: the un-REGISTER sent again
  kInvite,      // the INVITE of a new call: its dialogs dropped, sent again
  kReInvite,    // a re-INVITE of a live call: the call's record carries the challenge
  kSubscribe,
  kRefer,
  kNotify,
};
ChallengeResend ChooseChallengeResend(int32_t kind, bool open, bool relatedLive);

constexpr int kMaxChallengeAnswers = 4;

enum class ChallengeVerdict {
  kAnswer,
  kNotStale,       // already answered in this attempt and not marked stale
  kNonceRepeated,  // stale, but with a nonce answered before
  kTooMany,        // kMaxChallengeAnswers answered in this attempt
};
const char* ChallengeVerdictText(ChallengeVerdict verdict);

// The challenges answered per transaction attempt, for a bounded number
// of transactions (the ones least recently challenged are forgotten
// first). Thread-safe.
class ChallengeLedger {
 public:
  static constexpr size_t kCapacity = 64;

  ChallengeLedger() = default;
  ChallengeLedger(const ChallengeLedger&) = delete;
  ChallengeLedger& operator=(const ChallengeLedger&) = delete;

  // Decides on a challenge of transaction `key` and, when it is to be
  // answered, notes it. authAttempts is the transaction's count of
  // answers so far: 0 starts a new attempt (what was noted is dropped).
  // stale is the challenge's stale value (null for none).
  ChallengeVerdict Decide(uint32_t key, int32_t authAttempts, const char* stale, const char* realm,
                          const char* nonce);
  // Drops what was noted for the transaction (it ended).
  void Forget(uint32_t key);
  size_t Size();

 private:
  struct Entry {
    uint32_t key;
    uint64_t lastUse;
    int answers;
    unsigned char nonces[kMaxChallengeAnswers][kMD5DigestSize];
  };
  Entry* Find(uint32_t key);
  Entry* Take(uint32_t key);

  ZEQLock lock_;
  Entry entries_[kCapacity] = {};
  size_t size_ = 0;
  uint64_t clock_ = 0;
};

}  // namespace sipagent
