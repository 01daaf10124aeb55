// Small look-ups on a container's browser: its current document, the
// document's window and script objects, its last script element, and the
// browser's own windows under a host window. Interfaces returned carry one
// reference for the caller; null when there is none.
#pragma once
#include <windows.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>
#include <urlmon.h>

#include "host/dispatch_ex.h"
#include "host/renderer.h"

IHTMLDocument2* GetDocument2(IWebBrowser2* browser);
IHTMLWindow2* GetParentWindow2(IWebBrowser2* browser);
// IDispatchEx of the document's window object.
IDispatchEx* GetScriptDispatchEx(IWebBrowser2* browser);
// IDispatchEx of the document's script object.
IDispatchEx* GetDocumentScriptDispatchEx(IWebBrowser2* browser);
// The last element of the document's scripts collection.
IHTMLElement* GetLastScriptElement(IWebBrowser2* browser);

// The window a binding (a protocol sink) shows its authentication in: its
// IWindowForBindingUI service asked for IAuthenticate's window; 0 on any
// failure.
HWND GetBindingWindow(IUnknown* binding);

// The first child window of the given class ("Internet Explorer_Server" or
// "Shell Embedding"); 0 when there is none or the window is gone.
HWND FindIEServerWindow(HWND window);
HWND FindShellEmbeddingWindow(HWND window);

// Removes the member of that name (its characters and terminator) from a
// script object's member list, under the list's lock; the removal's result,
// 0 when the name is empty or absent.
int RemoveScriptMemberByName(CZEQDispatchEx* object, const wchar_t* name);

// Turns the browser's RegisterAsDropTarget off; 1, or 0 without a browser.
int DisableDropTarget(CZEQRenderer* site);
