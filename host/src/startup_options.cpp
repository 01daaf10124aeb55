// Options of the start-up: a name followed by its value in parentheses on
// the command line, overridden by the start-up definitions.
#include <cstring>
#include <string>

#include "foundation/heap.h"
#include "host/application_definitions.h"
#include "host/script_exec.h"
#include "package/definitions_list.h"

namespace {

void CopyCut(char* buffer, const char* text) {
  const size_t n = strnlen(text, kStartupOptionSize - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}

}  // namespace

void GetStartupOption(const char* name, char* buffer, char* commandLine) {
  if (!buffer) return;
  std::memset(buffer, 0, kStartupOptionSize);
  if (!name || !*name) return;
  if (commandLine && *commandLine) {
    // The taken values can be as long as the text they came from.
    char* taken = static_cast<char*>(HeapAllocZ(std::strlen(commandLine) + 1));
    if (ExtractCallArgument(name, commandLine, taken)) CopyCut(buffer, taken);
    HeapFreeZ(taken);
  }
  DefinitionsList* definitions = GetStartupDefinitions();
  if (!definitions) return;
  const std::string key = std::string("arguments.") + name;
  int found = 0;
  const char* value = DefinitionGetValue(definitions, "", key.c_str(), nullptr, &found);
  if (found) CopyCut(buffer, value ? value : "");
}
