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
