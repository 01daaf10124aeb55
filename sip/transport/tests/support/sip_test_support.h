// Helpers shared by the SIP message tests: test data files and records.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "sip/record.h"

// The folder of test data files (SIP_TEST_DATA is set by the build).
inline std::string SIPTestDataPath(const std::string& name) { return std::string(SIP_TEST_DATA) + "/" + name; }

// The bytes of a test data file; empty when it cannot be read.
inline std::string ReadSIPTestFile(const std::string& name) {
  std::string bytes;
  FILE* f = fopen(SIPTestDataPath(name).c_str(), "rb");
  if (!f) return bytes;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
  fclose(f);
  return bytes;
}

// A record on the heap, initialised and freed with the test.
struct TestRecord {
  std::unique_ptr<SIPRecord> owned{new SIPRecord};
  TestRecord() { SIPRecordInit(owned.get()); }
  ~TestRecord() { SIPRecordFree(owned.get()); }
  SIPRecord* get() { return owned.get(); }
  SIPRecord* operator->() { return owned.get(); }
};

// An account record of user "alice" at example.com, as the root of a chain.
inline void SetTestAccount(SIPRecord* root, const char* password = "secret") {
  SIPAccountSettings& a = root->account;
  snprintf(a.displayName, sizeof a.displayName, "Alice");
  snprintf(a.user, sizeof a.user, "alice");
  snprintf(a.authenticationUser, sizeof a.authenticationUser, "alice");
  snprintf(a.domain, sizeof a.domain, "example.com");
  SIPAccountSetPassword(&a, password);
  root->connection.transport = kSIPTransportUDP;
}
