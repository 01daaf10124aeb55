// Pre-translation of the browser's keyboard messages.
#include "host/browser_messages.h"

#include "host/browser_container.h"
#include "host/renderer.h"
#include "windows/records.h"

BOOL ZEQPreTranslateBrowserMessage(MSG* message, HWND dialog) {
  if (!message) return 1;
  if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST && message->hwnd) {
    char className[129] = {};
    GetClassNameA(message->hwnd, className, sizeof className);
    if (lstrcmpiA(className, "Internet Explorer_Server") == 0) {
      ZEQContainerHolder container = ZEQGetBaseContainer(ZEQFindContainerWindow(message->hwnd));
      if (ZEQIsContainerReady(container)) {
        if (CZEQRenderer* site = ZEQGetContainerRenderer(container)) {
          const int translate = site->TranslateAcceleratorFilter(*message);
          static_cast<IOleClientSite*>(site)->Release();
          if (translate == 0) return 0;
        }
      }
    }
  }
  if (dialog && IsDialogMessageA(dialog, message)) return 0;
  return 1;
}

void ZEQTranslateDispatchMessage(MSG* message, HWND dialog) {
  if (!message || !ZEQPreTranslateBrowserMessage(message, dialog)) return;
  TranslateMessage(message);
  DispatchMessageA(message);
}
