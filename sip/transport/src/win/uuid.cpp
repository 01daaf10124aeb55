// UUIDs of the platform (CoCreateGuid, UuidToStringA).
#include <windows.h>
#include <objbase.h>
#include <rpc.h>

#include <cstring>

#include "sip/identifiers.h"

bool SIPNewUuidText(char text[37]) {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return false;
  RPC_CSTR string = nullptr;
  if (UuidToStringA(&guid, &string) != RPC_S_OK || !string) return false;
  strncpy(text, reinterpret_cast<const char*>(string), 36);
  text[36] = 0;
  RpcStringFreeA(&string);
  return true;
}
