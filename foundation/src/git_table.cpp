#include "foundation/git_table.h"

#include <objbase.h>

static IGlobalInterfaceTable* volatile g_table = nullptr;

HRESULT ZEQCreateGlobalInterfaceTable() {
  if (g_table) return S_OK;
  IGlobalInterfaceTable* table = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
  if (FAILED(hr)) return hr;
  if (!table) return E_NOINTERFACE;
  // Two threads racing here: the first one's pointer stays.
  if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_table), table,
                                        nullptr) != nullptr) {
    table->Release();
  }
  return S_OK;
}

IGlobalInterfaceTable* ZEQGlobalInterfaceTable() { return g_table; }

void ZEQReleaseGlobalInterfaceTable() {
  auto* table = static_cast<IGlobalInterfaceTable*>(
      InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_table), nullptr));
  if (table) table->Release();
}

DWORD ZEQGITRegister(IUnknown* object) {
  IGlobalInterfaceTable* table = ZEQGlobalInterfaceTable();
  if (!object || !table) return 0;
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) ||
      !identity)
    return 0;
  DWORD cookie = 0;
  if (FAILED(table->RegisterInterfaceInGlobal(identity, IID_IUnknown, &cookie))) cookie = 0;
  identity->Release();
  return cookie;
}

int RevokeGITCookie(DWORD cookie) {
  IGlobalInterfaceTable* table = ZEQGlobalInterfaceTable();
  if (!cookie || !table) return 0;
  return SUCCEEDED(table->RevokeInterfaceFromGlobal(cookie)) ? 1 : 0;
}

IUnknown* GetInterfaceFromGIT(DWORD cookie) {
  IGlobalInterfaceTable* table = ZEQGlobalInterfaceTable();
  if (!cookie || !table) return nullptr;
  IUnknown* object = nullptr;
  if (FAILED(table->GetInterfaceFromGlobal(cookie, IID_IUnknown, reinterpret_cast<void**>(&object))))
    return nullptr;
  return object;
}
