// The start-up and application definitions read into the process-wide
// application settings, the application macros and the protocols.
#include "host/application_definitions.h"

#include "host/core_script.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/heap.h"
#include "foundation/lock_guard.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "package/application_settings.h"
#include "package/definitions_list.h"
#include "package/macros.h"
#include "package/path_expand.h"
#include "package/paths.h"

namespace {

constexpr char kApplication[] = "application";
constexpr char kMacrosPrefix[] = "application.macros.";
constexpr char kProtocolsPrefix[] = "protocols.";
// Room the protocol folder gets for its macros and its expansion.
constexpr size_t kProtocolPathRoom = 512;

template <size_t N>
constexpr size_t Limit(const char (&)[N]) {
  return N - 1;
}

// True when the definitions hold the section's own entry or a key inside it.
bool HasSectionKey(DefinitionsList* definitions, const char* section) {
  const size_t length = strlen(section);
  ZEQLockGuard guard(definitions->lock);
  for (int i = 0; i < definitions->count; ++i) {
    const ZEQListItem* item = definitions->GetItemAt(i);
    const char* key = item ? item->KeyText() : nullptr;
    if (key && strncmp(key, section, length) == 0 && (key[length] == '\0' || key[length] == '.')) {
      return true;
    }
  }
  return false;
}

using NamedValues = std::vector<std::pair<std::string, std::string>>;

// Every key that begins with the prefix and carries a value: the rest of the
// key and a copy of the value, in key order. Copies, so that nothing is
// called back under the list's lock.
NamedValues ValuesWithPrefix(DefinitionsList* definitions, const char* prefix) {
  NamedValues values;
  const size_t length = strlen(prefix);
  ZEQLockGuard guard(definitions->lock);
  for (int i = 0; i < definitions->count; ++i) {
    const ZEQListItem* item = definitions->GetItemAt(i);
    if (!item || !item->value1) continue;
    const char* key = item->KeyText();
    if (!key || strncmp(key, prefix, length) != 0 || !key[length]) continue;
    values.emplace_back(key + length, reinterpret_cast<const char*>(item->value1));
  }
  return values;
}

// Copies the value of section.name into buffer[size], cut to size - 1
// characters; false (buffer untouched) when the key is absent.
bool CopyValue(DefinitionsList* definitions, const char* section, const char* name, char* buffer,
               size_t size) {
  ZEQLockGuard guard(definitions->lock);
  int found = 0;
  const char* value = DefinitionGetValue(definitions, section, name, nullptr, &found);
  if (!found) return false;
  StrCopyN(buffer, value ? value : "", size - 1);
  return true;
}

// A heap copy of the value of section.name ("" for an entry without a
// value), or null when the key is absent.
char* DuplicateValue(DefinitionsList* definitions, const char* section, const char* name) {
  ZEQLockGuard guard(definitions->lock);
  int found = 0;
  const char* value = DefinitionGetValue(definitions, section, name, nullptr, &found);
  return found ? StrDupExtra(value, 0) : nullptr;
}

// A UTF-8 text cut at the buffer's limit may end inside a character; that
// partial character is dropped rather than turned into a stray symbol.
void DropPartialUtf8Tail(char* text) {
  const size_t length = strlen(text);
  size_t lead = length;
  size_t continuation = 0;
  while (lead > 0 && continuation < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
    --lead;
    ++continuation;
  }
  if (lead == 0) return;
  const unsigned char first = static_cast<unsigned char>(text[lead - 1]);
  size_t needed = 0;
  if ((first & 0xE0) == 0xC0) {
    needed = 1;
  } else if ((first & 0xF0) == 0xE0) {
    needed = 2;
  } else if ((first & 0xF8) == 0xF0) {
    needed = 3;
  }
  if (needed > continuation) text[lead - 1] = '\0';
}

// A text key: the value cut to the buffer and, for UTF-8 keys, converted to
// the ANSI code page; absent, the default (null: left as it is).
template <size_t N>
void ReadText(DefinitionsList* definitions, const char* section, const char* name,
              char (&buffer)[N], const char* defaultText, bool utf8) {
  if (CopyValue(definitions, section, name, buffer, N)) {
    if (utf8) {
      if (strlen(buffer) == Limit(buffer)) DropPartialUtf8Tail(buffer);
      ConvertUTF8ToANSIInPlace(buffer);
    }
  } else if (defaultText && defaultText != buffer) {
    StrCopyN(buffer, defaultText, Limit(buffer));
  }
}

int32_t ReadInt(DefinitionsList* definitions, const char* section, const char* name,
                int defaultValue) {
  int value = defaultValue;
  DefinitionGetInt(definitions, section, name, &value, defaultValue);
  return value;
}

int32_t ReadBool(DefinitionsList* definitions, const char* section, const char* name) {
  int value = 0;
  DefinitionGetBool(definitions, section, name, &value, 0);
  return value;
}

// The executable's file name without its folder and extension.
void CopyExecutableBaseName(char* buffer, size_t limit) {
  char path[MAX_PATH * 4] = "";
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) path[0] = '\0';
  const char* slash = strrchr(path, '\\');
  char* name = slash ? const_cast<char*>(slash) + 1 : path;
  if (char* dot = strrchr(name, '.')) *dot = '\0';
  StrCopyN(buffer, name, limit);
}

// A path key of section "kesto": trimmed and unquoted, resolved against the
// loader folder, trimmed and unquoted again and normalised; cut to the
// buffer.
template <size_t N>
void ReadScriptPath(DefinitionsList* definitions, const char* name, char (&buffer)[N]) {
  char* path = DuplicateValue(definitions, "kesto", name);
  if (!path) path = StrDupExtra("", 0);
  TrimAndUnquote(path);
  ExpandLoaderRelativePath(&path, strlen(path) + 1, nullptr);
  TrimAndUnquote(path);
  SmartNormalizePathInPlace(path);
  StrCopyN(buffer, path, Limit(buffer));
  HeapFreeZ(path);
}

void ReadApplicationMacros(DefinitionsList* definitions) {
  for (const auto& [name, text] : ValuesWithPrefix(definitions, kMacrosPrefix)) {
    char* macroName = HeapPrintf(0, "!%%%s%%", name.c_str());
    char* value = StrDupExtra(text.c_str(), 0);
    value = ProcessMacros(value, nullptr, nullptr, kMacroGrow);
    RegisterMacro(macroName, value);
    HeapFreeZ(value);
    HeapFreeZ(macroName);
  }
}

bool IsSystemProtocol(const char* name) {
  return _stricmp(name, "kesto") == 0 || _stricmp(name, "loader") == 0;
}

}  // namespace

int ReadStartupDefinitions(DefinitionsList* definitions) {
  if (!definitions) return 1;
  ApplicationSettings* settings = GetApplicationSettings();

  if (char* arguments = DuplicateValue(definitions, "", "arguments")) {
    char* previous = settings->arguments;
    settings->arguments = TrimBlanks(arguments);
    HeapFreeZ(previous);
  }

  if (HasSectionKey(definitions, "log")) {
    char* name = DuplicateValue(definitions, "log", "name");
    StrCopyN(settings->logName, name ? TrimAndUnquote(name) : "", Limit(settings->logName));
    HeapFreeZ(name);
    settings->logEnable = ReadBool(definitions, "log", "enable");
    settings->logIgnoreErrors = ReadBool(definitions, "log", "ignore errors");
  }
  if (HasSectionKey(definitions, "kesto")) {
    ReadScriptPath(definitions, "debug", settings->debugScript);
    ReadScriptPath(definitions, "release", settings->releaseScript);
    ReadScriptPath(definitions, "core script", settings->coreScript);
  }
  return 1;
}

int ReadApplicationDefinitions(DefinitionsList* definitions) {
  ApplicationSettings* settings = GetApplicationSettings();
  if (!definitions) {
    CopyExecutableBaseName(settings->name, Limit(settings->name));
    StrCopyN(settings->version, kUndefinedApplicationVersion, Limit(settings->version));
    return 1;
  }

  ReadText(definitions, kApplication, "loader", settings->loader, "", true);
  if (!settings->name[0]) CopyExecutableBaseName(settings->name, Limit(settings->name));
  ReadText(definitions, kApplication, "name", settings->name, nullptr, true);
  ReadText(definitions, kApplication, "version", settings->version, "", true);
  settings->id = ReadInt(definitions, kApplication, "id", 0);
  settings->platformId = ReadInt(definitions, kApplication, "id.platform", 0);
  settings->imageId = ReadInt(definitions, kApplication, "id.image", 0);
  ReadText(definitions, kApplication, "icon", settings->icon, "", true);
  ReadText(definitions, kApplication, "audio.layer", settings->audioLayer, "", false);
  settings->enableRawAccess = ReadBool(definitions, "vfs", "enable raw access");
  if (HasSectionKey(definitions, "memory")) {
    settings->memoryManagement = ReadBool(definitions, "memory", "enable management");
    settings->maxPerContainerUsage =
        ReadInt(definitions, "memory", "max per container usage", kAppMaxPerContainerUsageDefault);
    settings->recycleInterval =
        ReadInt(definitions, "memory", "recycle interval", kAppRecycleIntervalDefault);
  }
  ReadText(definitions, kApplication, "publisher.name", settings->publisherName, "", true);
  ReadText(definitions, kApplication, "publisher.alias", settings->publisherAlias, "", true);
  settings->publisherId = ReadInt(definitions, kApplication, "publisher.id", 0);
  ReadText(definitions, kApplication, "publisher.description", settings->publisherDescription, "",
           true);

  ReadApplicationMacros(definitions);
  // A loaded core script follows the application's language.
  KESTOApplyApplicationMacros(settings->name, settings->version);
  return ReadProtocolDefinitions(definitions);
}

int ReadProtocolDefinitions(DefinitionsList* definitions) {
  if (!definitions) return 1;
  for (const auto& [name, text] : ValuesWithPrefix(definitions, kProtocolsPrefix)) {
    if (text.empty()) continue;
    char* path = StrDupExtra(text.c_str(), kProtocolPathRoom);
    path = ProcessMacros(path, nullptr, nullptr, kMacroGrow);
    TrimAndUnquote(path);
    ExpandLoaderRelativePath(&path, strlen(path) + 1 + kProtocolPathRoom, nullptr);
    SmartNormalizePathInPlace(path);
    if (IsSystemProtocol(name.c_str())) {
      ZEQLogPrintf(
          ">Definition of Protocol \"%s\" to \"%s\" ignored because \"%s\" is a system protocol and "
          "cannot be redefined.",
          name.c_str(), path, name.c_str());
    } else {
      SetPathAlias(name.c_str(), path, 1);
    }
    HeapFreeZ(path);
  }
  return 1;
}
