// Program windows: the window classes, the "KESTO Window" procedure (a
// popup whose client area holds one child, the body, id 2000, in which the
// browser container lives), the creation prologue, the record attachment and
// the creation and destruction helpers every window uses.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/list.h"
#include "windows/records.h"

// Registers the program's window classes with this module ("KESTO Dummy
// Window", "KESTO Ctrl Window", "KESTO Window"); TRUE when all are
// registered (a class already registered counts). The classes of menus,
// message boxes and the main window are registered by their own code.
BOOL ZEQRegisterWindowClasses();
void ZEQUnregisterWindowClasses();

// 1 when the procedure must return 1 at once (WM_MEASUREITEM of an
// owner-drawn combo box, whose item height it sets to 15); it lists the
// window at WM_CREATE and WM_INITDIALOG.
LRESULT ZEQWindowProcPrologue(HWND window, UINT message, LPARAM lParam);
LRESULT CALLBACK ZEQCtrlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ZEQWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window's record, made when it has none (with a "HWND::ALIVEEVENT"
// event), stored in its parameter block. A new record gets its skin from
// the template class the reference names (through the installed loader),
// or a new blank skin when there is no such class; the record and the
// block share it.
ZEQWindowHolder ZEQAttachWindowParam(HWND window, const char* templateReference, const char* className,
                                     uint32_t frameFlags);

// The skin of a template class reference ("<template path>#Name" or
// "#Name"), or an empty holder. The template reader lives above the window
// layer, which therefore takes it as an installed function.
using ZEQTemplateClassLoader = SKINHolder (*)(const char* reference);
void ZEQSetTemplateClassLoader(ZEQTemplateClassLoader loader);

HWND CreateWindowExt(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter);
// The body window: a hidden STATIC child with the given id.
HWND CreateStaticChildWindow(HWND parent, int id);
// The child with id 2000 of the window's top-level window.
HWND ZEQGetBodyWindow(HWND window);
// Destroys a window of the calling thread at once; any other (or any, with
// alwaysPost) by posting CMSG_DESTROYWND to it. 1 when posted.
BOOL DestroyWindowExt(HWND window, BOOL alwaysPost);

// Every window whose procedure saw WM_CREATE (pointer keys), and a marshal
// packet of the record of every "KESTO Window".
ZEQList* ZEQGlobalWindowList();
ZEQList* ZEQWindowRecordList();
