// Documents on separate UI threads: each thread has its own browser, page,
// script engine and timers, as top-level windows on their own threads do.
#include <gtest/gtest.h>

#include <process.h>

#include <string>

#include "test_support.h"

using namespace dochost_test;

namespace {

struct ThreadRun {
  std::wstring url;
  std::wstring who, ticks, list;
  bool loaded = false;
  bool ticked = false;
};

unsigned __stdcall RunPage(void* arg) {
  ThreadRun* run = static_cast<ThreadRun*>(arg);
  OleInitialize(nullptr);
  {
    Harness h;
    run->loaded = h.Load(run->url);
    // Each page counts its own timer ticks into its own globals.
    run->ticked = PumpUntil([&] { return h.Global(L"ticks") == L"5"; }, 5000);
    run->who = h.Global(L"who");
    run->ticks = h.Global(L"ticks");
    run->list = h.Global(L"items");
  }
  OleUninitialize();
  return 0;
}

TEST(UiThreads, TwoDocumentsOnTwoThreadsRunIndependently) {
  PageFolder folder;
  const char* page =
      "<div id=a></div><div id=b></div>\n"
      "<script>var who = location_name(); var ticks = 0; var items = [];\n"
      "function location_name() { return document.title; }\n"
      "var iv = setInterval(function() {\n"
      "  items.push(document.getElementsByTagName('div').length + who);\n"
      "  if (++ticks == 5) clearInterval(iv); }, 5);</script>";
  folder.Write(L"a.html", std::string("<title>A</title>") + page);
  folder.Write(L"b.html", std::string("<title>B</title><div></div>") + page);
  ThreadRun a, b;
  a.url = folder.Url(L"a.html");
  b.url = folder.Url(L"b.html");
  HANDLE threads[2];
  threads[0] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunPage, &a, 0, nullptr));
  threads[1] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunPage, &b, 0, nullptr));
  ASSERT_TRUE(threads[0] && threads[1]);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 20000));
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  EXPECT_TRUE(a.loaded);
  EXPECT_TRUE(b.loaded);
  EXPECT_TRUE(a.ticked);
  EXPECT_TRUE(b.ticked);
  EXPECT_EQ(L"A", a.who);
  EXPECT_EQ(L"B", b.who);
  EXPECT_EQ(L"2A,2A,2A,2A,2A", a.list);
  EXPECT_EQ(L"3B,3B,3B,3B,3B", b.list);
}

}  // namespace
