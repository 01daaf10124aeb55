// The firewall exception of this program through the firewall manager's
// COM objects (INetFwMgr, its local policy's current profile and the
// profile's authorised applications).
#include "host/firewall.h"

#include <netfw.h>
#include <objbase.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "package/paths.h"

namespace {

constexpr GUID kClsidNetFwMgr = {0x304ce942, 0x6e39, 0x40d8, {0x94, 0x3a, 0xb9, 0x13, 0xc4, 0x0c, 0x9c, 0xd4}};
constexpr GUID kIidNetFwMgr = {0xf7898af5, 0xcac4, 0x4632, {0xa2, 0xec, 0xda, 0x06, 0xe5, 0x11, 0x1a, 0xf2}};
constexpr GUID kClsidNetFwAuthorizedApplication = {
    0xec9846b3, 0x2762, 0x4a6b, {0xa2, 0x14, 0x6a, 0xcb, 0x60, 0x34, 0x62, 0xd2}};
constexpr GUID kIidNetFwAuthorizedApplication = {
    0xb5e64ffa, 0xc2c5, 0x444e, {0xa3, 0x01, 0xfb, 0x5e, 0x00, 0x01, 0x80, 0x50}};

template <typename T>
void ReleaseInterface(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

// A BSTR freed with its holder.
class OwnedBstr {
 public:
  explicit OwnedBstr(BSTR text) : text_(text) {}
  ~OwnedBstr() { SysFreeString(text_); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  BSTR get() const { return text_; }
  bool empty() const { return !text_ || !*text_; }

 private:
  BSTR text_;
};

HRESULT GetFirewallProfile(INetFwProfile** profile) {
  INetFwMgr* manager = nullptr;
  INetFwPolicy* policy = nullptr;
  HRESULT hr = CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
                                reinterpret_cast<void**>(&manager));
  if (SUCCEEDED(hr)) hr = manager->get_LocalPolicy(&policy);
  if (SUCCEEDED(hr) && !policy) hr = E_POINTER;
  if (SUCCEEDED(hr)) hr = policy->get_CurrentProfile(profile);
  if (SUCCEEDED(hr) && !*profile) hr = E_POINTER;
  ReleaseInterface(policy);
  ReleaseInterface(manager);
  return hr;
}

// Whether the profile lists the program and its entry is enabled; a program
// not listed is not authorised.
bool IsApplicationAuthorized(INetFwAuthorizedApplications* applications, BSTR path) {
  INetFwAuthorizedApplication* application = nullptr;
  if (FAILED(applications->Item(path, &application)) || !application) return false;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  const HRESULT hr = application->get_Enabled(&enabled);
  ReleaseInterface(application);
  return SUCCEEDED(hr) && enabled != VARIANT_FALSE;
}

HRESULT SetAuthorizedApplication(INetFwProfile* profile, BSTR path, BSTR name, bool add) {
  INetFwAuthorizedApplications* applications = nullptr;
  HRESULT hr = profile->get_AuthorizedApplications(&applications);
  if (SUCCEEDED(hr) && !applications) hr = E_POINTER;
  if (FAILED(hr)) return hr;
  if (!add) {
    hr = applications->Remove(path);
  } else if (!IsApplicationAuthorized(applications, path)) {
    INetFwAuthorizedApplication* application = nullptr;
    hr = CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                          kIidNetFwAuthorizedApplication, reinterpret_cast<void**>(&application));
    if (SUCCEEDED(hr)) hr = application->put_ProcessImageFileName(path);
    if (SUCCEEDED(hr)) hr = application->put_Name(name);
    if (SUCCEEDED(hr)) hr = applications->Add(application);
    ReleaseInterface(application);
  }
  ReleaseInterface(applications);
  return hr;
}

// The path names the running executable.
bool IsOwnProgram(const char* path) {
  char own[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return IsSameFullPath(own, path) != FALSE;
}

}  // namespace

BOOL AddFirewallException(const char* programPath, const char* name, BOOL add) {
  if (!programPath || !*programPath || !IsOwnProgram(programPath)) {
    ZEQLogPrintf("AddFirewallException: \"%s\" is not this program; the firewall is left alone",
                 programPath ? programPath : "");
    return FALSE;
  }
  if (add && (!name || !*name)) return FALSE;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(com) && com != RPC_E_CHANGED_MODE) return FALSE;
  HRESULT hr = S_OK;
  try {
    OwnedBstr path(AnsiToBSTR(programPath));
    OwnedBstr label(AnsiToBSTR(name ? name : ""));
    if (path.empty()) hr = E_OUTOFMEMORY;
    INetFwProfile* profile = nullptr;
    if (SUCCEEDED(hr)) hr = GetFirewallProfile(&profile);
    if (SUCCEEDED(hr)) hr = SetAuthorizedApplication(profile, path.get(), label.get(), add != FALSE);
    ReleaseInterface(profile);
  } catch (...) {
    ZEQLogUnexpected("AddFirewallException");
    hr = E_OUTOFMEMORY;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  if (FAILED(hr)) ZEQLogPrintf("AddFirewallException: the firewall refused the change (0x%08lX)", hr);
  return SUCCEEDED(hr);
}
