// Shortcuts for page script: a link made from a target and its details, and
// a link's fields read back.
#include <cstring>

#include "file_call.h"
#include "foundation/text.h"
#include "host/shell_links.h"
#include "package/paths.h"

namespace zeqfiles {
namespace {

void CopyText(char* destination, size_t size, const char* text) {
  if (!text) return;
  const size_t length = strnlen(text, size - 1);
  std::memcpy(destination, text, length);
  destination[length] = 0;
}

HRESULT CreateShortcut(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText link(args.Path(0));
  HeapText target(args.Path(1));
  if (link.empty() || target.empty()) return outcome.Deliver(result);
  ShellLinkRecord record;
  // A target cut to fit would make a link to some other file.
  if (std::strlen(target.get()) >= sizeof record.targetPath) {
    outcome.Fail(ERROR_FILENAME_EXCED_RANGE);
    return outcome.Deliver(result);
  }
  std::memset(&record, 0, sizeof record);
  CopyText(record.targetPath, sizeof record.targetPath, target.get());
  // The short form of a target that exists; a target still to come keeps
  // its long name.
  char shortPath[sizeof record.targetPath] = {};
  const DWORD length = GetShortPathNameA(record.targetPath, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath) CopyText(record.targetPath, sizeof record.targetPath, shortPath);
  HeapText description(args.Text(2));
  HeapText arguments(args.Text(3));
  HeapText icon(args.Count() > 4 ? args.Path(4) : nullptr);
  CopyText(record.description, sizeof record.description, description.get());
  CopyText(record.arguments, sizeof record.arguments, arguments.get());
  CopyText(record.iconLocation, sizeof record.iconLocation, icon.get());
  record.iconIndex = args.Int(5);
  record.showCommand = SW_SHOWNORMAL;
  outcome.FromStep(CreateShellLink(&record, link.get()) != FALSE);
  return outcome.Deliver(result);
}

HRESULT GetShortcutInfo(const Arguments& args, VARIANT* result) {
  Outcome outcome;
  HeapText link(args.Path(0));
  if (link.empty()) return outcome.Deliver(result);
  ShellLinkRecord record;
  std::memset(&record, 0, sizeof record);
  if (!ReadShellLink(&record, link.get())) return outcome.Deliver(result);
  JSArray* array = outcome.Array();
  outcome.Succeed();
  array->AppendStringA(record.description);
  array->AppendStringA(record.targetPath);
  array->AppendStringA(record.arguments);
  array->AppendStringA(record.workingFolder);
  array->AppendStringA(record.iconLocation);
  array->AppendInt(record.iconIndex);
  array->AppendUInt(record.showCommand);
  array->AppendUInt(record.hotKey);
  return outcome.Deliver(result);
}

}  // namespace

HRESULT InvokeShortcutFunction(DISPID id, const Arguments& args, VARIANT* result) {
  switch (id) {
    case kCreateShortcut:
      return CreateShortcut(args, result);
    case kGetShortcutInfo:
      return GetShortcutInfo(args, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace zeqfiles
