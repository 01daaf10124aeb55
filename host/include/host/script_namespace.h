// The script namespace of a page: one class object per native script class
// and the constant families, published as properties of the page's global
// scope (the window object, then the document's script object) of a
// container that allows the host object. Class objects resolve no names;
// script calls or constructs them, and their class makes the instance.
#pragma once
#include <windows.h>

#include "host/dispatch_ex.h"
#include "windows/records.h"

// The container's identity GUID as script reads it in KESTO_CLSID.
constexpr char kKestoClsidText[] = "3B1E0A7D-92F4-4c16-A8E5-D04C6F21B7A9";

// Installs the callbacks of a script class that another subsystem owns
// ("ZEQSIP", "ZEQHTTP", "ZEQRadio" ..., or "prompt" and "echo" under their
// published names); a null invoke callback takes the class out again. Pages
// published afterwards get its class object; a class without callbacks is
// not published at all (its name stays undefined in script). false for a
// name that is not one of the namespace's classes.
bool ZEQRegisterScriptClass(const wchar_t* publishedName, ZEQGetIDsOfNamesCallback getIds, ZEQInvokeCallback invoke);

// Publishes the namespace in the container's current page. 1 when it ran,
// 0 when the container is not ready (nothing published). A name that
// cannot be published stays undefined and the pass goes on.
int ZEQDefineScriptNamespace(const ZEQContainerHolder& container);
