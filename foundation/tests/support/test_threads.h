// Runs a body on several threads at once, with a bounded wait (the thread
// procedure must be stdcall on i686, which a lambda cannot be).
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

// Calls body(0) .. body(n - 1), each on its own thread; true when all ended
// within the timeout. The contexts stay alive when a thread does not end.
struct TestThreadContext {
  std::function<void(int)>* body;
  int index;
};

inline DWORD WINAPI TestThreadTrampoline(void* arg) {
  auto* context = static_cast<TestThreadContext*>(arg);
  (*context->body)(context->index);
  return 0;
}

inline bool RunOnThreads(int n, std::function<void(int)> body, DWORD timeoutMs = 60000) {
  using Context = TestThreadContext;
  auto* shared = new std::function<void(int)>(std::move(body));
  auto* contexts = new std::vector<Context>(n);
  std::vector<HANDLE> threads;
  for (int i = 0; i < n; ++i) {
    (*contexts)[i] = {shared, i};
    HANDLE thread = CreateThread(nullptr, 0, TestThreadTrampoline, &(*contexts)[i], 0, nullptr);
    if (thread) threads.push_back(thread);
  }
  bool ended = static_cast<int>(threads.size()) == n;
  for (HANDLE thread : threads) {
    ended &= WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
  }
  if (ended) {
    delete contexts;
    delete shared;
  }
  return ended;
}
