#include "foundation/process_state.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<uint32_t> g_applicationState{kZEQAppRunning};
std::atomic<HWND> g_mainWindow{nullptr};
std::atomic<ZEQPreTranslateHook> g_preTranslate{nullptr};
std::atomic<uint32_t> g_logSizeLimit{0xFFFFFFFFu};
char g_applicationBanner[kZEQApplicationBannerMax + 1];
std::atomic<UINT> g_exitCode{0};
std::atomic<HANDLE> g_instanceMutex{nullptr};

}  // namespace

uint32_t ZEQGetApplicationState() { return g_applicationState.load(); }

void ZEQSetApplicationState(uint32_t state) { g_applicationState.store(state); }

HWND ZEQGetMainWindow() { return g_mainWindow.load(); }

void ZEQSetMainWindow(HWND window) { g_mainWindow.store(window); }

ZEQPreTranslateHook ZEQSetPreTranslateHook(ZEQPreTranslateHook hook) { return g_preTranslate.exchange(hook); }

BOOL ZEQPreTranslateMessage(MSG* message, HWND dialog) {
  if (ZEQPreTranslateHook hook = g_preTranslate.load()) return hook(message, dialog);
  return !(dialog && IsDialogMessageA(dialog, message));
}

uint32_t ZEQGetLogSizeLimit() { return g_logSizeLimit.load(); }

void ZEQSetLogSizeLimit(uint32_t bytes) { g_logSizeLimit.store(bytes); }

const char* ZEQGetApplicationBanner() { return g_applicationBanner; }

void ZEQSetApplicationBanner(const char* text) {
  const size_t length = text ? strnlen(text, kZEQApplicationBannerMax) : 0;
  std::memcpy(g_applicationBanner, text ? text : "", length);
  g_applicationBanner[length] = '\0';
}

UINT ZEQGetExitCode() { return g_exitCode.load(); }

void ZEQSetExitCode(UINT code) { g_exitCode.store(code); }

HANDLE ZEQSetInstanceMutex(HANDLE mutex) { return g_instanceMutex.exchange(mutex); }
