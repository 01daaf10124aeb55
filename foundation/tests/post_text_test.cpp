#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/heap.h"
#include "foundation/waits.h"

namespace {

struct Posted {
  WPARAM wParam;
  std::string text;
};

// The WM_USER texts queued for the window, taken and freed.
std::vector<Posted> TakeTexts(HWND window) {
  std::vector<Posted> texts;
  MSG message;
  while (PeekMessageA(&message, window, WM_USER, WM_USER, PM_REMOVE)) {
    auto* text = reinterpret_cast<char*>(message.lParam);
    texts.push_back({message.wParam, text});
    HeapFreeZ(text);
  }
  return texts;
}

class PostText : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  }
  void TearDown() override { DestroyWindow(window_); }
  HWND window_ = nullptr;
};

TEST_F(PostText, PostsTheFormattedTextWithCodeAndLine) {
  EXPECT_TRUE(PostTextMessage(3, nullptr, window_, 0x12345, "%s=%d", "x", 5));
  EXPECT_TRUE(PostTextMessage(0xFFFF, nullptr, window_, -1, "100%%"));
  const auto texts = TakeTexts(window_);
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(WPARAM(0x32345), texts[0].wParam);
  EXPECT_EQ("x=5", texts[0].text);
  EXPECT_EQ(WPARAM(0xFFFFFFFF), texts[1].wParam);
  EXPECT_EQ("100%", texts[1].text);
}

TEST_F(PostText, ThrottledTextsWithin100msAreDropped) {
  DWORD slot = GetTickCount() - 150;
  EXPECT_TRUE(PostTextMessage(1, &slot, window_, 1, "first"));
  const DWORD stamped = slot;
  EXPECT_FALSE(PostTextMessage(1, &slot, window_, 2, "dropped"));
  EXPECT_EQ(stamped, slot);
  slot -= 100;
  EXPECT_TRUE(PostTextMessage(1, &slot, window_, 3, "third"));
  const auto texts = TakeTexts(window_);
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ("first", texts[0].text);
  EXPECT_EQ("third", texts[1].text);
}

TEST_F(PostText, NoWindowNoText) {
  EXPECT_FALSE(PostTextMessage(1, nullptr, nullptr, 1, "nowhere"));
  HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  EXPECT_FALSE(PostTextMessage(1, nullptr, gone, 1, "nowhere"));
}

}  // namespace
