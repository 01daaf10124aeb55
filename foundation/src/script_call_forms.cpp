// The thin forms of ZEQDeliverAPC.
#include "foundation/script_calls.h"

uint32_t ZEQDeliverAPCWithString(HWND target, const wchar_t* interfaceName, const char* text, uint32_t flags,
                                 HWND sourceContainer) {
  VARIANT argument;
  VariantInit(&argument);
  VariantSetString(&argument, text);
  return ZEQDeliverAPC(target, interfaceName, nullptr, sourceContainer, &argument, nullptr, flags, nullptr, 0,
                       nullptr);
}

uint32_t ZEQDeliverAPCWithValue(HWND target, const wchar_t* interfaceName, BOOL value, uint32_t flags,
                                HWND sourceContainer) {
  VARIANT argument;
  VariantInitBoolValue(&argument, value ? VARIANT_TRUE : VARIANT_FALSE);
  return ZEQDeliverAPC(target, interfaceName, nullptr, sourceContainer, &argument, nullptr, flags, nullptr, 0,
                       nullptr);
}

uint32_t ZEQRaiseOnWBSecure(HWND target, uint32_t value, uint32_t flags, HWND sourceContainer) {
  VARIANT argument;
  VariantInitUInt(&argument, value);
  return ZEQDeliverAPC(target, L"ZEQOnWBSecure", nullptr, sourceContainer, &argument, nullptr, flags, nullptr, 0,
                       nullptr);
}

uint32_t ZEQDeliverAPCToContainer(HWND target, const wchar_t* interfaceName, HWND sourceContainer, uint32_t flags) {
  return ZEQDeliverAPC(target, interfaceName, nullptr, sourceContainer, nullptr, nullptr, flags, nullptr, 0, nullptr);
}
