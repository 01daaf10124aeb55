// The host object's file-system functions: streams over open files, files,
// folders, attributes, text files, enciphered and Base64 files, shortcuts
// and path utilities, as forty methods of the host object. Results are
// script arrays whose first element is the result code (0 success, 2
// failure followed by the system error when there is one, 107 at the end of
// a stream); the validation, test and close functions answer a plain code.
#pragma once
#include <oaidl.h>
#include <windows.h>

class CZEQDispatchEx;

// The member-table callback: registers the forty names in the host
// object's registering call, serves their calls in ready containers and
// answers DISP_E_MEMBERNOTFOUND for everything else.
HRESULT FileSystemInvoke(CZEQDispatchEx* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller);

// Plugs the table into the host object; once per process, before the first
// container is made.
void ZEQInstallFileSystemFunctions();
