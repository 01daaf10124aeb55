// "ZEQIBC": the script object through which page script sees one browser
// container (its identity, arguments, addresses, document state, zoom,
// state-set names, printing and popup blocking). Script never constructs
// it; the host makes a new one whenever it hands a container to script.
// Every object of a container finds the same record through the holder's
// id, so an object outliving its container answers DISP_E_EXCEPTION.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"
#include "windows/records.h"

// Members (DISPIDs).
constexpr DISPID kZEQIBCId = 1;
constexpr DISPID kZEQIBCMSHTMLActivateUI = 2;
constexpr DISPID kZEQIBCRegisterObject = 6;
constexpr DISPID kZEQIBCName = 100;
constexpr DISPID kZEQIBCIsModal = 118;
constexpr DISPID kZEQIBCAcceptMouseInput = 119;
constexpr DISPID kZEQIBCSetFocus = 208;
constexpr DISPID kZEQIBCOnMouseMoveEvent = 300;
constexpr DISPID kZEQIBCMaxMemoryUsage = 306;
constexpr DISPID kZEQIBCZEQGlobal = 308;
constexpr DISPID kZEQIBCIsBrowser = 101;
constexpr DISPID kZEQIBCIsDropTarget = 102;
constexpr DISPID kZEQIBCArguments = 103;
constexpr DISPID kZEQIBCStartArguments = 104;
constexpr DISPID kZEQIBCCloseArguments = 105;
constexpr DISPID kZEQIBCLoaderCSS = 106;
constexpr DISPID kZEQIBCStartLocationURL = 107;
constexpr DISPID kZEQIBCURL = 108;
constexpr DISPID kZEQIBCNameProp = 109;
constexpr DISPID kZEQIBCProtocol = 110;
constexpr DISPID kZEQIBCSecurity = 111;
constexpr DISPID kZEQIBCDomain = 112;
constexpr DISPID kZEQIBCMIMEType = 113;
constexpr DISPID kZEQIBCIsTopLevel = 114;
constexpr DISPID kZEQIBCLocationURL = 115;
constexpr DISPID kZEQIBCLocationName = 116;
constexpr DISPID kZEQIBCIsBusy = 117;
constexpr DISPID kZEQIBCIsChild = 120;
constexpr DISPID kZEQIBCIsDocumentComplete = 125;
constexpr DISPID kZEQIBCSetDefaultStateSet = 135;
constexpr DISPID kZEQIBCSetMaximizedStateSet = 136;
constexpr DISPID kZEQIBCZoom = 201;
constexpr DISPID kZEQIBCPrint = 205;
constexpr DISPID kZEQIBCShowPrintPreview = 206;
constexpr DISPID kZEQIBCShowPageSetup = 207;
constexpr DISPID kZEQIBCPopupBlocker = 307;

// A new object of the container (one reference), or null for an empty
// holder.
CZEQDispatchEx* ZEQIBC(const ZEQContainerHolder& container);

// The container of a ZEQIBC object handed back by script (an object, or a
// reference to one); an empty holder for anything else, for an object of
// another kind, or when the container has ended.
ZEQContainerHolder ZEQContainerFromArgument(const VARIANT* argument);

HRESULT ZEQIBCGetIDsOfNames(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
HRESULT ZEQIBCInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception, IServiceProvider* caller);
