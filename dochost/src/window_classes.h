// Class names of the document host's hidden message windows.
#pragma once

namespace dochost {

// Posts of a browser: navigation steps and the end of a closed page.
constexpr wchar_t kBrowserMessageClass[] = L"ZEQ DocHost Browser Messages";
// Timers of a page's window.
constexpr wchar_t kTimerWindowClass[] = L"ZEQ DocHost Timer Window";

}  // namespace dochost
