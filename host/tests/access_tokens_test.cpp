// Access tokens live in a table of unguessable ids: forged numbers and
// released tokens are refused, whatever memory still holds.
#include <gtest/gtest.h>

#include <set>

#include "host/access_tokens.h"

namespace {

TEST(AccessTokens, ATokenCarriesWhatThePageGave) {
  const uint32_t id = ZEQAccessTokenCreate("noscroll, RelateToThread", 77, 5, "for the dialer");
  ASSERT_NE(0u, id);
  ZEQIBCAccessToken token;
  ASSERT_TRUE(ZEQAccessTokenLookup(id, &token));
  EXPECT_STREQ("+ZEQIBCACCESSTOKEN", token.header.tag);
  EXPECT_EQ(1u, token.relateToThread);
  EXPECT_EQ(77u, token.value);
  EXPECT_EQ(5u, token.containerId);
  EXPECT_STREQ("for the dialer", token.text);
  const uint32_t plain = ZEQAccessTokenCreate(nullptr, 1, 5, std::string(400, 't').c_str());
  ASSERT_TRUE(ZEQAccessTokenLookup(plain, &token));
  EXPECT_EQ(0u, token.relateToThread);
  EXPECT_EQ(263u, strlen(token.text)) << "a long text is cut to the record";
  EXPECT_TRUE(ZEQAccessTokenRelease(id));
  EXPECT_TRUE(ZEQAccessTokenRelease(plain));
}

TEST(AccessTokens, ForgedAndReleasedTokensAreRefused) {
  const uint32_t id = ZEQAccessTokenCreate("", 1, 9, "x");
  ZEQIBCAccessToken token;
  struct Case {
    const char* name;
    uint32_t number;
  };
  const Case forged[] = {{"zero", 0}, {"a small number", 7}, {"a neighbour", id + 1}, {"another", id ^ 0x80000000u}};
  for (const auto& c : forged) EXPECT_FALSE(ZEQAccessTokenLookup(c.number, &token)) << c.name;
  EXPECT_TRUE(ZEQAccessTokenRelease(id));
  EXPECT_FALSE(ZEQAccessTokenLookup(id, &token)) << "a released token";
  EXPECT_FALSE(ZEQAccessTokenRelease(id));
}

TEST(AccessTokens, IdsAreNeitherAddressesNorASequence) {
  std::set<uint32_t> ids;
  uint32_t previous = 0;
  int steps = 0;
  for (int i = 0; i < 64; ++i) {
    const uint32_t id = ZEQAccessTokenCreate("", i, 3, "");
    ASSERT_TRUE(ids.insert(id).second) << "ids are unique";
    if (previous && id - previous <= 64) ++steps;
    previous = id;
  }
  EXPECT_LT(steps, 4) << "ids do not follow one another";
  EXPECT_EQ(64, ZEQAccessTokenReleaseContainer(3));
  for (uint32_t id : ids) EXPECT_FALSE(ZEQAccessTokenLookup(id, nullptr));
}

TEST(AccessTokens, ARecordIsAcceptedOnlyWhileItsTokenLives) {
  // A record that looks right but was never issued.
  ZEQIBCAccessToken lookalike{};
  ZEQIBCAccessToken::Init(&lookalike, 0, 1, 1, "fake");
  EXPECT_FALSE(IsAccessToken(&lookalike));
  EXPECT_FALSE(IsAccessToken(nullptr));
  EXPECT_FALSE(IsAccessToken(reinterpret_cast<void*>(0x10)));
}

}  // namespace
