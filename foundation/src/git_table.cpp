#include "foundation/git_table.h"

#include <objidl.h>

namespace {

IGlobalInterfaceTable* volatile table = nullptr;

IGlobalInterfaceTable* Table() {
  return static_cast<IGlobalInterfaceTable*>(
      InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&table), nullptr, nullptr));
}

}  // namespace

HRESULT ZEQCreateGlobalInterfaceTable() {
  if (Table()) return S_OK;
  IGlobalInterfaceTable* created = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&created));
  if (FAILED(hr)) return hr;
  if (!created) return E_NOINTERFACE;
  // Two threads may race here; the loser drops its pointer.
  if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&table), created,
                                        nullptr) != nullptr)
    created->Release();
  return S_OK;
}

void ZEQReleaseGlobalInterfaceTable() {
  auto* old = static_cast<IGlobalInterfaceTable*>(
      InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&table), nullptr));
  if (old) old->Release();
}

IGlobalInterfaceTable* ZEQGlobalInterfaceTable() { return Table(); }

DWORD ZEQGITRegister(IUnknown* object) {
  IGlobalInterfaceTable* git = Table();
  if (!object || !git) return 0;
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) ||
      !identity)
    return 0;
  DWORD cookie = 0;
  if (FAILED(git->RegisterInterfaceInGlobal(identity, IID_IUnknown, &cookie))) cookie = 0;
  identity->Release();
  return cookie;
}

int RevokeGITCookie(DWORD cookie) {
  IGlobalInterfaceTable* git = Table();
  if (!cookie || !git) return 0;
  return SUCCEEDED(git->RevokeInterfaceFromGlobal(cookie)) ? 1 : 0;
}

IUnknown* GetInterfaceFromGIT(DWORD cookie) {
  IGlobalInterfaceTable* git = Table();
  if (!cookie || !git) return nullptr;
  IUnknown* object = nullptr;
  if (FAILED(git->GetInterfaceFromGlobal(cookie, IID_IUnknown, reinterpret_cast<void**>(&object))))
    return nullptr;
  return object;
}

IDispatch* GetGITDispatch(DWORD cookie) {
  IUnknown* object = GetInterfaceFromGIT(cookie);
  if (!object) return nullptr;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    dispatch = nullptr;
  object->Release();
  return dispatch;
}
