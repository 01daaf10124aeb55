// Browser containers: the container record, its site (CZEQRenderer), the
// web-browser object and the host object, built inside a host window (the
// body of a program window) on the thread that owns that window.
#pragma once
#include <windows.h>

#include <cstdint>

#include "foundation/variant.h"
#include "host/renderer.h"
#include "windows/records.h"

// Builds a container in the host window. All holders are taken by value;
// the holder left in *out is empty when the record cannot be made or the
// container needs a parent and has none. A missing browser object is no
// failure: the container is then ready without one.
void ZEQIBCCreate(ZEQContainerHolder* out, bool top, ZEQContainerHolder caller, ZEQContainerHolder parent,
                  HWND host, const char* name, const char* url, ZEQMarshaledVariant* arguments,
                  const char* loaderStyleSheet, const char* loaderExtra, uint32_t options, uint32_t relation);

// The container's site (one reference), or null.
CZEQRenderer* ZEQGetContainerRenderer(const ZEQContainerHolder& container);

// The host dispatch object a new container's site answers as IDispatch and
// as window.external: made by the installed factory for each container
// (one reference for the site). Without a factory the site has none.
using ZEQHostObjectFactory = IDispatch* (*)(const ZEQContainerHolder& container);
void ZEQSetHostObjectFactory(ZEQHostObjectFactory factory);

// Installs the browser containers into the window layer (creation,
// navigation, teardown, the script set-up of UI threads and the loader of
// windows' template classes) and the browser's keyboard pre-translation
// into the message loops; once per process, before the first container
// window is made.
void ZEQInstallBrowserContainers();
