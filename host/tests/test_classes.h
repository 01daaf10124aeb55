// A script class for the tests, declared the way every class of the
// program is: a name resolver over its own member table and a member
// dispatcher that registers, constructs, serves and destroys.
#pragma once
#include "log_capture.h"
#include <windows.h>

#include <string>
#include <vector>

#include "host/dispatch_ex.h"

namespace host_test {

// "ZEQTestObject" members:
//   Echo(v)          method 1: answers its argument
//   Value            property 2: an integer kept in the native data
//   Sum(a, b, ...)   method 3: the sum of the integer values
//   MakeReturn(n)    method 4: a ZEQReturn with Count = n and Name = "item"
//   MakeArray()      method 5: the array [7, "text", true, [1, 2]]
//   CountArray(a)    method 6: the element count of a script array
//   Fail()           method 7: raises an exception inside the class
//   Flags            property 8: the object's flags
//   Keep(v)          method 9: stores v as the value "kept" of the object
constexpr wchar_t kTestClass[] = L"ZEQTestObject";
HRESULT TestObjectInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, IServiceProvider* caller);

// Counts of the registering and destroy calls made so far.
extern volatile long g_testRegistrations;
extern volatile long g_testDestructions;

// Collects the lines written to the process log while it lives.
class LogCapture {
 public:
  std::vector<std::string> Lines() { return log_.Texts(); }
  bool Has(const std::string& part) { return log_.Contents().find(part) != std::string::npos; }

 private:
  logtest::CapturedGlobalLog log_;
};

// A new object of the test class made as script's new would (flags
// 0x10001, a store of its own unless one is given).
CZEQDispatchEx* NewTestObject(HWND owner = nullptr, uint32_t flags = kZEQDispInstance,
                              const ZEQPropertyStoreHolder& store = ZEQPropertyStoreHolder());

// GetDispID with a wide literal.
HRESULT DispIdOf(IDispatchEx* object, const wchar_t* name, DISPID* id, DWORD nameFlags = 0);
// A property get or put through InvokeEx.
HRESULT GetProperty(IDispatchEx* object, DISPID id, VARIANT* value);
HRESULT PutProperty(IDispatchEx* object, DISPID id, const VARIANT& value);

}  // namespace host_test
