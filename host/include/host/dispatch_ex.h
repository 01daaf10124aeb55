// CZEQDispatchEx: the one COM object behind every native object that page
// script sees. A class is not a subclass but four values given at
// construction: a class name, a name resolver, a member dispatcher and a set
// of flags. The dispatcher is called once while the object is built (the
// registering call) to declare the members with ZEQRegisterMember and make
// the class's native data, and once while it is destroyed to free that data.
// Names no member has become expandos that script stores values in.
//
// Objects cross threads as themselves: their custom marshalling carries a
// token of the object within the process, so every thread calls the same
// object without a proxy. Each thread that runs script objects or fetches
// them from the Global Interface Table registers the unmarshalling class
// factory once (RegisterDispatchExClassFactory).
#pragma once
#include <dispex.h>
#include <objidl.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdint>

#include "foundation/buffers.h"
#include "foundation/result_codes.h"
#include "host/property_store.h"

class CZEQDispatchEx;

// Object flags.
constexpr uint32_t kZEQDispNames = 0x1;              // names are answered at all
constexpr uint32_t kZEQDispIndexed = 0x10;           // members by registration order; digits are positions
constexpr uint32_t kZEQDispResultMembers = 0x10000;  // Success, Error, ErrorCode ...
constexpr uint32_t kZEQDispNoDefine = 0x20000;       // no "Define" and "Based"
constexpr uint32_t kZEQDispRaw = 0x40000;            // straight to the class callbacks
constexpr uint32_t kZEQDispNoAmbient = 0x80000;      // no ambient properties
// Flags of the usual kinds of objects.
constexpr uint32_t kZEQDispClassObject = 0;
constexpr uint32_t kZEQDispInstance = 0x10001;
constexpr uint32_t kZEQDispPlain = 0x1;
constexpr uint32_t kZEQDispIndexedReturn = 0x60011;

// State bits.
constexpr uint32_t kZEQDispRegistering = 1;
constexpr uint32_t kZEQDispDestroying = 2;

// Built-in and common DISPIDs.
constexpr DISPID kZEQDispidDefine = 0x800001;
constexpr DISPID kZEQDispidBased = 0x800002;
constexpr DISPID kZEQDispidRegisterInterface = 0x800100;
constexpr DISPID kZEQDispidRegisterEvent = 0x800201;
constexpr DISPID kZEQDispidAddEventListener = 0x800202;
constexpr DISPID kZEQDispidRemoveEventListener = 0x800203;
constexpr DISPID kZEQDispidFireEvent = 0x800204;
constexpr DISPID kZEQDispidOnReadyStateChange = 0x801000;
constexpr DISPID kZEQDispidReadyState = 0x801010;
constexpr DISPID kZEQDispidSuccess = 0x801100;
constexpr DISPID kZEQDispidError = 0x801110;
constexpr DISPID kZEQDispidErrorCode = 0x801120;
constexpr DISPID kZEQDispidSystemErrorCode = 0x801130;
constexpr DISPID kZEQDispidErrorDescription = 0x801140;

// Ready states.
constexpr uint32_t ZEQREADYSTATE_INITIALIZED = 10;
constexpr uint32_t ZEQREADYSTATE_LOADING = 20;
constexpr uint32_t ZEQREADYSTATE_LOADED = 30;
constexpr uint32_t ZEQREADYSTATE_INTERACTIVE = 40;
constexpr uint32_t ZEQREADYSTATE_ABORTED = 50;
constexpr uint32_t ZEQREADYSTATE_COMPLETE = 60;

// Answers a handler gives: ZEQACTION_ in foundation/result_codes.h.

// Class name resolver: (object, name, GetDispID name flags, out DISPID).
using ZEQGetIDsOfNamesCallback = HRESULT (*)(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);
// Class member dispatcher. With DISPID 0 and every other argument zero it is
// the registering call (state bit 1) or the destroy call (state bit 2). Called
// with DISPATCH_CONSTRUCT on a class object it makes an instance.
using ZEQInvokeCallback = HRESULT (*)(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

// True for the registering and destroy calls of an Invoke callback.
inline bool ZEQIsLifecycleCall(DISPID id, WORD flags, const DISPPARAMS* params, const VARIANT* result) {
  return id == 0 && flags == 0 && !params && !result;
}

// Native data of "KESTOObjectScope" objects: the scoped object is the base
// of the scope object (member deletion, properties, names and enumeration
// fall through to it, and "Based" returns it).
struct ZEQObjectScopeData {
  uintptr_t window;
  DWORD targetCookie;  // Global Interface Table cookie of the scoped object
};

class CZEQDispatchEx final : public IDispatchEx, public IMarshal {
 public:
  // A new object with one reference: copies the class name, shares the
  // given store (a new one when the holder is empty) and makes the
  // registering call. Throws ZEQOutOfMemory when memory is exhausted.
  static CZEQDispatchEx* Create(const wchar_t* className, HWND owner, ZEQGetIDsOfNamesCallback getIds,
                                ZEQInvokeCallback invoke, uint32_t flags,
                                const ZEQPropertyStoreHolder& store = ZEQPropertyStoreHolder());

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override;
  // IDispatchEx
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD nameFlags, DISPID* id) override;
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, IServiceProvider* caller) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR name, DWORD nameFlags) override;
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) override;
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD fetch, DWORD* properties) override;
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD nameFlags, DISPID id, DISPID* next) override;
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override;
  // IMarshal
  HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID iid, void* object, DWORD context, void* contextData,
                                              DWORD marshalFlags, CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID iid, void* object, DWORD context, void* contextData,
                                              DWORD marshalFlags, DWORD* size) override;
  HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* stream, REFIID iid, void* object, DWORD context,
                                             void* contextData, DWORD marshalFlags) override;
  HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* stream, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD reserved) override;

  // The common step behind Invoke (no caller) and InvokeEx: expandos, the
  // ready-state and result members, the ambient properties; everything else
  // goes to the class's Invoke callback.
  static HRESULT CommonInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

  bool IsRegistering() const { return (state & kZEQDispRegistering) != 0; }
  bool IsDestroying() const { return (state & kZEQDispDestroying) != 0; }
  // The member list of the object's store (made when create is set).
  ZEQList* Members(bool create) const;
  // The base object (a reference for the caller), or null.
  IDispatchEx* Base() const;

  static void* operator new(size_t size);
  static void operator delete(void* block);

  HWND owner = nullptr;
  wchar_t* className = nullptr;
  void* nativeData = nullptr;
  uint32_t flags = 0;
  BOOL success = FALSE;
  uint32_t errorCode = 0;
  uint32_t systemErrorCode = 0;
  ZEQBuffer errorDescription;  // narrow text in its block; its count stays 0
  uint32_t state = 0;
  ZEQGetIDsOfNamesCallback getIdsCallback = nullptr;
  ZEQInvokeCallback invokeCallback = nullptr;
  DWORD readyStateHandler = 0;  // Global Interface Table cookie of the handler
  uint32_t readyState = 0;
  ZEQPropertyStoreHolder store;

 private:
  CZEQDispatchEx() = default;
  ~CZEQDispatchEx() = default;
  void Destroy();

  volatile LONG refCount_ = 1;

  friend bool ZEQTryAddRefLive(CZEQDispatchEx* object);
};

// Members.
// Puts a member into the object's member list (made on first use); 1. An
// indexed table appends every name; other tables ignore a null or empty name
// and keep one entry per name (registering again replaces DISPID and kind).
int ZEQRegisterMember(CZEQDispatchEx* object, DISPID id, uint32_t kind, const wchar_t* name);
// S_OK with the entry's DISPID, or DISP_E_UNKNOWNNAME with -1 (no list:
// DISP_E_UNKNOWNNAME, *id untouched).
HRESULT ZEQLookupMember(CZEQDispatchEx* object, const wchar_t* name, DISPID* id);
// Offset of the DISPIDs of page-script functions imported as methods.
constexpr DISPID kZEQImportedMemberOffset = 0x88FFFFF;
// With import set, makes the function of that name of the owner
// container's page script a method of the object: DISPID = the script's
// DISPID + kZEQImportedMemberOffset (the class's Invoke callback calls it).
// Without, removes the member of that name. 0 on success; 2 without a page,
// for a name the page does not have (or has as DISPID 0), or when nothing
// was removed.
int ZEQImportScriptMember(CZEQDispatchEx* object, const wchar_t* name, bool import);
// Registers "RegisterInterface" as method 0x800100; 1.
int ZEQRegisterInterfaceMember(CZEQDispatchEx* object);
// The name resolver of classes that answer from their own member table.
HRESULT ZEQLookupMemberCallback(CZEQDispatchEx* object, const wchar_t* name, DWORD nameFlags, DISPID* id);

// Result fields. Mode bit 1: ErrorCode = code, Success = code == expected;
// else mode bit 2: ErrorCode = code, Success = code != expected; else Success
// = code and expected both non-zero, ErrorCode 0 or 2. The description
// becomes the system's text for the system error (empty for -1; unchanged
// when the system has none). Returns 1.
namespace ZEQReturnData {
int SetResult(CZEQDispatchEx* object, uint32_t code, uint32_t expected, uint32_t systemError, uint32_t mode);
}  // namespace ZEQReturnData
// Success: code 1, expected 1, system error 0, mode 4. A null object is ignored.
void ZEQSetResultSuccess(CZEQDispatchEx* object);

// Stores the new ready state; when it changed and a handler is held, calls
// the handler with (code, object). 1 when the state was already the new one
// or the handler answered ZEQACTION_CONTINUE, else 0.
int ZEQSetReadyState(uint32_t newState, CZEQDispatchEx* object, uint32_t code);

// Identity of native objects.
// The identifier of this run: the unmarshal class of every CZEQDispatchEx and
// the private interface through which an object answers as itself.
const GUID& ZEQRunIdentifier();
// The CZEQDispatchEx behind a COM object with a reference for the caller, or
// null for any other object.
CZEQDispatchEx* ZEQGetNativeDispatchEx(IUnknown* object);
// TRUE when the VARIANT holds a native object of exactly that class name.
BOOL ZEQVariantIsObjectOfClass(const VARIANT* value, const wchar_t* className);
// A script array (VT_DISPATCH) read into out as one SAFEARRAY of its elements
// (its hidden array property, DISPID -2700); false for other values.
bool ScriptArrayToSafeArray(const VARIANT* in, VARIANT* out);

// Registers the unmarshalling class factory for the calling thread's
// apartment; once per thread (later calls return the same cookie). The
// cookie, 0 on failure.
DWORD RegisterDispatchExClassFactory();
// Revokes the calling thread's registration, if any.
void RevokeDispatchExClassFactory();
// Number of live CZEQDispatchEx objects in the process.
long ZEQLiveDispatchExCount();
