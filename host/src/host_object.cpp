// The host object "KESTO": name look-up, registration of its own methods
// and of the chained tables, and the master dispatch.
#include "host/host_object.h"

#include <cwchar>

#include "foundation/log.h"
#include "host/browser_container.h"
#include "host/js_array.h"
#include "windows/records.h"

namespace {

struct OwnMember {
  const wchar_t* name;
  DISPID id;
};

// The host object's own methods, in DISPID order. "ZEQGetVersion" is not
// among them: the name look-up answers it by itself.
constexpr OwnMember kOwnMembers[] = {
    {L"KESTOGetVolumeID", 1015},
    {L"ZEQGetVolumeType", 1016},
    {L"KESTOSendIPCMessage", 1019},
    {L"ZEQGetProcessInfo", 1020},
    {L"ZEQTerminateProcess", 1021},
    {L"ZEQGetProcessIdByPath", 1022},
    {L"ZEQEnumRunningProcesses", 1023},
    {L"ZEQGetCurrentProcessId", 1024},
    {L"ZEQWaitProcessToClose", 1025},
    {L"ZEQRestartSystemIconCache", 1027},
    {L"ZEQGetUSBVolumeInfo", 1028},
    {L"ZEQFormatDrive", 1029},
    {L"ZEQRemoveStringAccents", 1033},
    {L"ZEQShowDebugWindow", 1047},
    {L"ZEQOutputDebugString", 1048},
    {L"ZEQSetDebugMethod", 1049},
    {L"ZEQSetTestMethod", 1050},
    {L"ZEQGetDebugMethod", 1051},
    {L"ZEQGetLogParseableEntries", 1052},
    {L"ZEQStartLogFile", 1053},
    {L"ZEQClearLogFile", 1054},
    {L"ZEQAppendToLog", 1055},
    {L"ZEQCreateUUID", 1056},
    {L"ZEQMatchWildcard", 1058},
    {L"ZEQLog", 1060},
    {L"ZEQOutputToConsole", 1062},
    {L"ZEQCalculateHTMLTextExtents", 1065},
    {L"ZEQCreateTip", 1066},
    {L"ZEQShowTip", 1067},
    {L"ZEQHideTip", 1068},
    {L"ZEQDestroyTip", 1069},
    {L"ZEQGetScreenInfo", 1070},
    {L"ZEQGetSystemBootTime", 1071},
    {L"ZEQResizeImage", 1081},
    {L"ZEQSetBits", 1083},
    {L"ZEQGetBits", 1084},
    {L"ZEQGetTickCount", 1085},
    {L"ZEQSleep", 1086},
    {L"ZEQCalculateTextExtents", 1091},
    {L"ZEQSetHTTPProxyAuthentication", 1092},
    {L"ZEQGetFormatedTime", 1300},
    {L"ZEQGetFormatedNumber", 1301},
    {L"ZEQGetFormatedFileSize", 1302},
    {L"ZEQRegisterMacro", 1303},
    {L"ZEQAdjustURLString", 1304},
    {L"ZEQProcessMacro", 1305},
    {L"ZEQProcessSystemMacro", 1306},
    {L"ZEQGetSystemScrollInfo", 1393},
    {L"ZEQGetCursorPos", 1400},
    {L"ZEQGetButtonsState", 1401},
    {L"ZEQSimulateKeyboardEvent", 1450},
    {L"ZEQGetKeyState", 1451},
    {L"ZEQCreateEventObject", 1600},
    {L"ZEQOpenEventObject", 1601},
    {L"ZEQWaitEventObject", 1602},
    {L"ZEQSignalEventObject", 1603},
    {L"ZEQResetEventObject", 1604},
    {L"ZEQDestroyEventObject", 1605},
    {L"ZEQShellExecute", 4004},
    {L"ZEQShellGetPath", 4007},
    {L"ZEQNACreate", 4100},
    {L"ZEQNAModify", 4101},
    {L"ZEQNADestroy", 4102},
    {L"ZEQEncryptBuffer", 4500},
    {L"ZEQDecryptBuffer", 4501},
    {L"ZEQGetEnvironmentData", 10000},
    {L"ZEQShowColorPicker", 15200},
    {L"ZEQSelectOpenFileName", 15201},
    {L"ZEQSelectSaveFileName", 15202},
    {L"ZEQSelectOpenFolderName", 15203},
    {L"ZEQSplit", 15902},
    {L"ZEQTakeScreenshot", 20710},
    {L"ZEQCompareDeviceInterface", 21153},
    {L"ZEQQueryHIDevices", 22000},
    {L"ZEQQueryDiskDevices", 22001},
    {L"ZEQQueryCDROMDevices", 22002},
    {L"ZEQQueryPartitionDevices", 22003},
    {L"ZEQQueryTapeDevices", 22004},
    {L"ZEQQueryWriteOnceDevices", 22005},
    {L"ZEQQueryVolumeDevices", 22006},
    {L"ZEQQueryMediumChangerDevices", 22007},
    {L"ZEQQueryFloppyDevices", 22008},
    {L"ZEQQueryCDChangerDevices", 22009},
    {L"ZEQQueryStoragePortDevices", 22010},
    {L"ZEQQueryCOMPortDevices", 22011},
    {L"ZEQSendEMail", 35500},
    {L"ZEQLoadPlugin", 60000},
    {L"ZEQUnloadPlugin", 60001},
    {L"ZEQCallFunctionFromPlugin", 60002},
    {L"ZEQCreateProfiler", 60100},
    {L"ZEQResetProfiler", 60101},
    {L"ZEQGetProfilerInfo", 60102},
    {L"ZEQDNSToIP", 60200},
    {L"ZEQGetLastInputTickCount", 60201},
    {L"ZEQAppBarAttach", 60306},
};

ZEQInvokeCallback volatile g_tables[static_cast<int>(KestoMemberTable::kCount)] = {};

// The version the host reports to script.
constexpr uint32_t kVersion[] = {3, 7, 121, 2, 5, 0};

UINT ArgumentCount(const DISPPARAMS* params) { return params ? params->cArgs : 0; }

HRESULT RegisterMembers(CZEQDispatchEx* object) {
  for (ZEQInvokeCallback table : g_tables) {
    if (table) table(object, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  }
  for (const OwnMember& member : kOwnMembers) ZEQRegisterMember(object, member.id, kZEQMemberMethod, member.name);
  return S_OK;
}

// Answers the status array of ZEQGetVersion.
HRESULT GetVersion(DISPPARAMS* params, VARIANT* result) {
  if (ArgumentCount(params) != 0) return DISP_E_BADPARAMCOUNT;
  if (!result) return S_OK;
  JSArray* array = JSArray::New();
  HRESULT hr = S_OK;
  try {
    array->AppendUInt(ZEQERROR_NOERROR);
    for (uint32_t part : kVersion) array->AppendUInt(part);
    if (!array->ToSafeArray(result)) hr = E_OUTOFMEMORY;
  } catch (...) {
    JSArray::Delete(array);
    throw;
  }
  JSArray::Delete(array);
  return hr;
}

// The host object's own switch; DISP_E_MEMBERNOTFOUND for what it does not
// serve. Methods are served only as methods.
HRESULT InvokeOwn(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case kKestoDispidGetVersion:
      return GetVersion(params, result);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT Dispatch(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, IServiceProvider* caller) {
  if (flags & DISPATCH_CONSTRUCT) return DISP_E_UNKNOWNINTERFACE;
  ZEQContainerHolder container = ZEQGetBaseContainer(object->owner);
  if (!container.IsSet() || !ZEQIsContainerReady(container)) return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = InvokeOwn(id, flags, params, result);
  if (hr != DISP_E_MEMBERNOTFOUND) return hr;
  for (ZEQInvokeCallback table : g_tables) {
    if (!table) continue;
    hr = table(object, id, lcid, flags, params, result, exception, caller);
    if (hr != DISP_E_MEMBERNOTFOUND) return hr;
  }
  return DISP_E_MEMBERNOTFOUND;
}

IDispatch* HostObjectForContainer(const ZEQContainerHolder& container) {
  if (!container.IsSet()) return nullptr;
  CZEQDispatchEx* object = KESTOCreateHostObject(container->hostWindow);
  return object ? static_cast<IDispatchEx*>(object) : nullptr;
}

}  // namespace

void ZEQRegisterHostMemberTable(KestoMemberTable table, ZEQInvokeCallback callback) {
  const int index = static_cast<int>(table);
  if (index < 0 || index >= static_cast<int>(KestoMemberTable::kCount)) return;
  g_tables[index] = callback;
}

HRESULT KESTOHostGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD, DISPID* id) {
  if (!id) return E_POINTER;
  *id = DISPID_UNKNOWN;
  if (!object || !name) return DISP_E_UNKNOWNNAME;
  if (wcscmp(name, L"ZEQGetVersion") == 0) {
    *id = kKestoDispidGetVersion;
    return S_OK;
  }
  if (wcscmp(name, L"ZEQGetEnvironmentData") == 0) {
    *id = kKestoDispidGetEnvironmentData;
    return S_OK;
  }
  ZEQContainerHolder container = ZEQGetBaseContainer(object->owner);
  if (container.IsSet() && !(container->options & WB_ALLOWSZEQ)) return DISP_E_UNKNOWNNAME;
  const HRESULT hr = ZEQLookupMember(object, name, id);
  if (FAILED(hr)) *id = DISPID_UNKNOWN;
  return hr;
}

HRESULT KESTOHostInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, IServiceProvider* caller) {
  if (result) VariantInit(result);
  if (!object) return E_POINTER;
  if (ZEQIsLifecycleCall(id, flags, params, result) && !exception && !caller && !lcid) {
    return object->IsRegistering() ? RegisterMembers(object) : S_OK;
  }
  try {
    return Dispatch(object, id, lcid, flags, params, result, exception, caller);
  } catch (...) {
    ZEQLogUnexpected("KESTOHostInvoke");
    if (result) VariantClear(result);
    return DISP_E_EXCEPTION;
  }
}

CZEQDispatchEx* KESTOCreateHostObject(HWND owner) {
  try {
    return CZEQDispatchEx::Create(L"KESTO", owner, KESTOHostGetIDsOfNames, KESTOHostInvoke,
                                  kZEQDispNames | kZEQDispNoAmbient);
  } catch (...) {
    ZEQLogUnexpected("KESTOCreateHostObject");
    return nullptr;
  }
}

void ZEQInstallHostObject() { ZEQSetHostObjectFactory(HostObjectForContainer); }
