#include "foundation/process_state.h"

#include <atomic>

namespace {

std::atomic<uint32_t> g_applicationState{kZEQAppRunning};
std::atomic<HWND> g_mainWindow{nullptr};
std::atomic<ZEQPreTranslateHook> g_preTranslate{nullptr};

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
