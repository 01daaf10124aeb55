// Running what extraction wrote when its ":exec(" directive asks: a program
// as a process of its own, a script or a page as a page in a new container
// window of the system's own, its script inside a loader block.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "foundation/text.h"
#include "foundation/waits.h"
#include "package/package_extract.h"
#include "package/paths.h"
#include "package/vfs.h"
#include "windows/container_windows.h"
#include "windows/records.h"

namespace {

// The window of a script page: the system's own application window with the
// native object model, resizable, allowed full screen and the minimise and
// maximise boxes; hidden until its page shows it.
constexpr uint32_t kScriptPageWindowFlags = WB_SYSTEMAPPWINDOW | WB_ALLOWSZEQ | WB_ALLOWSRESIZEGRIP |
                                            WB_ALLOWSFULLSCREEN | WB_ALLOWSMAXIMIZE | WB_ALLOWSMINIMIZE;

bool HasWord(const std::string& directive, const char* word) {
  return FindOptionWord(directive.c_str(), word, false) != nullptr;
}

bool HasExtension(const std::string& path, const char* extension) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return lstrcmpiA(path.c_str() + dot + 1, extension) == 0;
}

bool RunProgram(const std::string& path, bool wait) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  std::string commandLine = SkipVirtualPrefix(path.c_str());
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool RunScriptPage(const std::string& path, bool wait) {
  void* bytes = nullptr;
  DWORD size = 0;
  if (!ReadWholeFileExt(path.c_str(), &bytes, &size)) return false;
  const std::string script(static_cast<const char*>(bytes), size);
  HeapFreeSecure(bytes, size, true);
  const std::string page = zeqextract::ScriptRunPage(path, script);
  char address[kZEQPathBufferSize] = {};
  if (!MakeLoaderMediaPath(page.c_str(), address, "html", sizeof(address))) return false;
  HWND window = nullptr;
  const int created = ZEQCreateContainerWindow(nullptr, path.c_str(), address, nullptr, nullptr, nullptr,
                                               kScriptPageWindowFlags, 0, &window, ZEQContainerHolder(),
                                               ZEQContainerHolder());
  if (created != 0 || !window) return false;
  if (wait) RunWindowMessageLoop(window);
  return true;
}

}  // namespace

namespace zeqextract {

std::string ScriptRunPage(const std::string& title, const std::string& script) {
  std::string page =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<ZEQ:Initialize />\r\n<html><head>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\">\r\n<title>";
  page.reserve(page.size() + title.size() + script.size() + 512);
  page += title;
  page +=
      "</title>\r\n</head><body onload=\"window.external.ZEQCloseWindow( ZEQSELFCONTAINERID, '', 0 );\">\r\n"
      "<script language=\"javascript\" type=\"text/javascript\" defer=\"false\">\r\n\r\n"
      "ZEQLOADER: {\r\n";
  page += script;
  page += "\r\n}\r\n\r\n</script></body></html>";
  return page;
}

bool RunExtractedFile(const std::string& path, const std::string& execDirective) {
  const bool wait = HasWord(execDirective, "wait");
  if (HasExtension(path, "exe")) return RunProgram(path, wait);
  if (HasExtension(path, "zeq") || HasExtension(path, "js") || HasExtension(path, "html"))
    return RunScriptPage(path, wait);
  return false;
}

}  // namespace zeqextract
