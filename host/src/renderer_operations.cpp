// Small operations on a container's browser: the engine-message test, the
// re-navigation guard and the DPI zoom.
#include <cstring>

#include "foundation/heap.h"
#include "foundation/log.h"
#include "host/renderer.h"

namespace {

char engineText[1024] = {};

}  // namespace

void ZEQSetEngineMessageText(const char* text) { lstrcpynA(engineText, text ? text : "", sizeof engineText); }

const char* ZEQEngineMessageText() { return engineText; }

float EngineMessageSimilarity(const char* text) {
  const size_t engineLength = strlen(engineText);
  const size_t textLength = text ? strlen(text) : 0;
  if (engineLength == 0 || textLength == 0) return 0.0f;
  // Two rows of the longest-common-subsequence table over the engine text.
  auto previous = static_cast<uint32_t*>(HeapAllocZ(sizeof(uint32_t) * (engineLength + 1)));
  auto current = static_cast<uint32_t*>(HeapAllocZ(sizeof(uint32_t) * (engineLength + 1)));
  for (size_t j = 0; j < textLength; ++j) {
    current[0] = 0;
    for (size_t i = 1; i <= engineLength; ++i) {
      if (engineText[i - 1] == text[j]) {
        current[i] = previous[i - 1] + 1;
      } else {
        current[i] = previous[i] > current[i - 1] ? previous[i] : current[i - 1];
      }
    }
    uint32_t* swap = previous;
    previous = current;
    current = swap;
  }
  const float result = static_cast<float>(previous[engineLength]) / static_cast<float>(engineLength);
  HeapFreeZ(previous);
  HeapFreeZ(current);
  return result;
}

int ZEQIBCCheckRenavigation(ZEQContainerHolder container) {
  if (!container.IsSet()) return 1;
  const uint32_t options = container->options;
  if (!(options & kZEQContainerOwnPages) || (options & WB_ALLOWSRENAVIGATION) ||
      !(container->navigationState & 0x80)) {
    return 1;
  }
  ZEQLogPrintf("ZEQIBCCheckRenavigation: Renavigation inside container not allowed.");
  return 0;
}

int IBCApplyDPIZoom(ZEQContainerHolder container) {
  if (!container.IsSet()) return 1;
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  container->zoom = dpi * 100 / 96;
  static const UINT zoomMessage = RegisterWindowMessageA("CMSG_ZEQIBCZOOM");
  PostMessageA(container->hostWindow, zoomMessage, 0, 0);
  return 1;
}
