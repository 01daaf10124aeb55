// Challenge decisions. See sip/challenge_rules.h.
#include "sip/challenge_rules.h"

#include <cstring>

#include "sip/dialog_rules.h"

namespace sipagent {

namespace {

// Client transaction kinds.
constexpr int32_t kKindRegister = 2;
constexpr int32_t kKindInvite = 4;
constexpr int32_t kKindNotify = 12;
constexpr int32_t kKindSubscribe = 16;
constexpr int32_t kKindRefer = 18;

// The nonce is remembered by its digest with the realm, so a long nonce
// costs no more than a short one.
void NonceDigest(const char* realm, const char* nonce, unsigned char out[kMD5DigestSize]) {
  MD5Context context;
  MD5Init(&context);
  realm = realm ? realm : "";
  nonce = nonce ? nonce : "";
  MD5Update(&context, realm, strlen(realm));
  MD5Update(&context, ":", 1);
  MD5Update(&context, nonce, strlen(nonce));
  MD5Final(out, &context);
}

}  // namespace

const char* CredentialsHeaderName(int status) {
  if (status == 401) return "Authorization";
  if (status == 407) return "Proxy-Authorization";
  return nullptr;
}

ChallengeResend ChooseChallengeResend(int32_t kind, bool open, bool relatedLive) {
  switch (kind) {
    case kKindRegister: return open ? ChallengeResend::kRegister : ChallengeResend::kUnregister;
    case kKindInvite: return relatedLive ? ChallengeResend::kReInvite : ChallengeResend::kInvite;
    case kKindSubscribe: return ChallengeResend::kSubscribe;
    case kKindRefer: return ChallengeResend::kRefer;
    case kKindNotify: return ChallengeResend::kNotify;
    default: return ChallengeResend::kNone;
  }
}

const char* ChallengeVerdictText(ChallengeVerdict verdict) {
  switch (verdict) {
    case ChallengeVerdict::kAnswer: return "answered";
    case ChallengeVerdict::kNotStale: return "not stale";
    case ChallengeVerdict::kNonceRepeated: return "stale nonce repeated";
    case ChallengeVerdict::kTooMany: return "too many challenges";
  }
  return "";
}

ChallengeLedger::Entry* ChallengeLedger::Find(uint32_t key) {
  for (size_t i = 0; i < size_; ++i)
    if (entries_[i].key == key) return &entries_[i];
  return nullptr;
}

// The transaction's entry, made empty; when the table is full the entry
// used least recently makes room.
ChallengeLedger::Entry* ChallengeLedger::Take(uint32_t key) {
  Entry* entry = Find(key);
  if (!entry) {
    if (size_ < kCapacity) {
      entry = &entries_[size_++];
    } else {
      entry = &entries_[0];
      for (size_t i = 1; i < size_; ++i)
        if (entries_[i].lastUse < entry->lastUse) entry = &entries_[i];
    }
  }
  memset(entry, 0, sizeof *entry);
  entry->key = key;
  return entry;
}

ChallengeVerdict ChallengeLedger::Decide(uint32_t key, int32_t authAttempts, const char* stale, const char* realm,
                                         const char* nonce) {
  ZEQLockScope scope(lock_);
  unsigned char digest[kMD5DigestSize];
  NonceDigest(realm, nonce, digest);
  Entry* entry = authAttempts <= 0 ? Take(key) : Find(key);
  if (!entry) {
    // Answered before but forgotten (the table was full): only a stale
    // challenge goes on, counted from here.
    if (!EqualNoCase(stale, "TRUE")) return ChallengeVerdict::kNotStale;
    entry = Take(key);
    entry->answers = authAttempts < kMaxChallengeAnswers ? authAttempts : kMaxChallengeAnswers;
  } else if (entry->answers > 0) {
    if (!EqualNoCase(stale, "TRUE")) return ChallengeVerdict::kNotStale;
    int remembered = entry->answers < kMaxChallengeAnswers ? entry->answers : kMaxChallengeAnswers;
    for (int i = 0; i < remembered; ++i)
      if (memcmp(entry->nonces[i], digest, kMD5DigestSize) == 0) return ChallengeVerdict::kNonceRepeated;
  }
  entry->lastUse = ++clock_;
  if (entry->answers >= kMaxChallengeAnswers) return ChallengeVerdict::kTooMany;
  memcpy(entry->nonces[entry->answers], digest, kMD5DigestSize);
  ++entry->answers;
  return ChallengeVerdict::kAnswer;
}

void ChallengeLedger::Forget(uint32_t key) {
  ZEQLockScope scope(lock_);
  Entry* entry = Find(key);
  if (!entry) return;
  *entry = entries_[--size_];
  memset(&entries_[size_], 0, sizeof entries_[size_]);
}

size_t ChallengeLedger::Size() {
  ZEQLockScope scope(lock_);
  return size_;
}

}  // namespace sipagent
