// Identifiers of the platform's browser, HTML and script interfaces that the
// cross compiler's uuid library lacks. They are defined once, here, for every
// subsystem that links the document host; the interface identifiers among
// them are declared by the platform headers already.
#pragma once
#include <windows.h>

#include <guiddef.h>

EXTERN_C const GUID LIBID_MSHTML;
EXTERN_C const GUID CGID_DocHostCommandHandler;
EXTERN_C const CLSID CLSID_HTMLDocument;
EXTERN_C const CLSID CLSID_JScript;
