#include "foundation/instance_name.h"

#include <cstring>

namespace {

char g_instanceName[kZEQInstanceNameMax + 1];
char g_explicitInstanceName[kZEQInstanceNameMax + 1];

void CopyCut(char* buffer, const char* text) {
  const size_t length = text ? strnlen(text, kZEQInstanceNameMax) : 0;
  if (length) memmove(buffer, text, length);
  buffer[length] = '\0';
}

}  // namespace

char* ZEQInstanceNameBuffer() { return g_instanceName; }

void ZEQSetInstanceName(const char* text) { CopyCut(g_instanceName, text); }

const char* ZEQGetExplicitInstanceName() { return g_explicitInstanceName; }

void ZEQSetExplicitInstanceName(const char* text) { CopyCut(g_explicitInstanceName, text); }
