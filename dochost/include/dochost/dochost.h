// The web-browser object in which the system shows its pages. Where the
// platform's HTML engine can load documents its own browser control is used;
// otherwise the document host's: an object with the same interfaces
// (IWebBrowser2, IOleObject, IOleInPlaceObject, DWebBrowserEvents2 through
// its connection point, IHTMLDocument2/3 documents with IHTMLWindow2
// windows, IHTMLElement elements and JScript page script), so that the rest
// of the system never knows which one it talks to. Every object belongs to
// the apartment thread that created the browser.
#pragma once
#include <windows.h>

#include "dochost/platform_guids.h"

// The browser for a new container: the platform's when its engine works,
// otherwise the document host's. The interface asked for is returned.
HRESULT DocHostCreateWebBrowser(REFIID iid, void** out);

// The document host's own browser object, whatever the platform offers.
HRESULT DocHostCreateOwnBrowser(REFIID iid, void** out);

// TRUE when the platform's HTML engine can load a document; probed once per
// process.
bool DocHostPlatformEngineAvailable();
