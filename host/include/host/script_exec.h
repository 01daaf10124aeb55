// Running script in a page and reaching into it from native code: code run in
// a document's window, SCRIPT elements added to a document, variables of a
// script engine, the element under a point across frames, the script alert
// box, and calls written as name(value) taken out of option texts. Every
// routine runs on the thread that owns the document or browser.
#pragma once
#include <windows.h>
#include <dispex.h>
#include <exdisp.h>
#include <mshtml.h>

#include <cstdarg>

// Flags of ZEQInjectScriptElement.
constexpr DWORD kInjectScriptText = 0x1;         // the text is the script's code
constexpr DWORD kInjectScriptSource = 0x2;       // the text is the script's address
constexpr DWORD kInjectWindowErrorHandler = 0x4;  // the script handles window.onerror

// Runs JScript code in the window of the browser's current document:
// 0 when it ran, 2 for empty code, no document or a failing call.
int ZEQExecScript(BSTR code, IWebBrowser2* browser);

// Runs script text (narrow: an ANSI text, else a wide one, not necessarily
// a BSTR) in the page of
// the window's container: ZEQExecScript's answer, or 2 when the container
// is not ready or has no browser (nothing runs then).
int ZEQExecuteContainerScript(HWND window, bool narrow, const void* text);
// IDispatchEx::InvokeEx of the object with the locale 1033; E_NOINTERFACE
// for an object without IDispatchEx.
HRESULT ZEQInvokeExLcid1033(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, IServiceProvider* caller);

// Inserts a new SCRIPT element (language, defer, type "text/jscript", code or
// address by flags) into the reference element's parent, just before the
// reference element: 1 when inserted, 0 otherwise.
int ZEQInjectScriptElement(IHTMLElement* reference, const char* text, const char* language, BOOL defer,
                           DWORD flags);
// Includes a script file into the document of an element, before it.
int ZEQIncludeScriptInElementDocument(IHTMLElement* element, const char* source, const char* language,
                                      BOOL defer);

// Defines or sets a variable of a script engine (by its script object).
HRESULT DispatchExPutVariant(IDispatchEx* script, const wchar_t* name, VARIANT* value);
// Reads a variable of a script engine into an initialised VARIANT.
HRESULT DispatchExGetVariant(IDispatchEx* script, const wchar_t* name, VARIANT* value);

// The deepest element under a point of a document, looking into frames; one
// reference for the caller, or null.
IHTMLElement* ZEQElementFromPointDeep(IHTMLDocument2* document, long x, long y);

// The text of a script alert: heading (when given), two line breaks, the
// formatted message (at most 1,023 bytes), without TAB characters. The caller
// frees it with HeapFreeZ.
char* FormatScriptAlertText(const char* heading, const char* format, va_list args);
// Shows that text in a message box captioned "Alert"; returns 1.
int ScriptAlertBox(const char* heading, const char* format, ...);

// Takes every call "name(argument)" out of text (the text is changed in
// place and trimmed; a ")" inside double quotes does not end an argument) and
// writes the trimmed arguments to output, separated by one blank. output
// must hold at least as many bytes as text. True when a call was found.
bool ExtractCallArgument(const char* name, char* text, char* output);
