// "KESTOObjectScope" objects stand for a script object of another page:
// names the scope itself does not know are forwarded to its target, and a
// member that script creates through the scope is made on the target and
// remembered. The target is the scope's base (member deletion, properties
// and enumeration fall through to it, "Based" returns it).
#pragma once
#include <oaidl.h>
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"
#include "host/dispatch_ex.h"

// The scope's native data; it begins with the fields every object reads to
// find its base.
struct KESTOObjectScopeData {
  ZEQObjectScopeData target;  // owner container window, target's interface-table cookie
  uint32_t reserved;          // 0 at creation
  uintptr_t invokeWord;       // the scope invoke callback
  ZEQList* rememberedIds;     // target DISPIDs created through the scope (pointer keys)
};

// Sets the reserved word to 0 and makes the remembered-DISPID list.
KESTOObjectScopeData* KESTOObjectScopeDataInit(KESTOObjectScopeData* record);

namespace KESTOObjectScope {
// A scope of the target for the container of a window (flags 1, a store of
// its own), one reference; null for a null target.
CZEQDispatchEx* Create(HWND containerWindow, IDispatch* target);
}  // namespace KESTOObjectScope

HRESULT KESTOObjectScopeGetIDsOfNames(CZEQDispatchEx* scope, const wchar_t* name, DWORD nameFlags, DISPID* id);
// The class Invoke callback: the common members through the event-member
// step; other DISPIDs are the target's own and are forwarded to it.
HRESULT KESTOObjectScopeInvoke(CZEQDispatchEx* scope, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);
// true when the DISPID was created on the target through the scope.
bool KESTOObjectScopeRemembers(CZEQDispatchEx* scope, DISPID id);
