// The running application's package at start-up and shutdown: mounting it
// under the virtual root, the loader test and its release. Start-up chooses
// the package (from the executable's signature resource or a package file,
// package/signature.h) and calls the mount on the main thread.
#pragma once
#include "package/package.h"

// Flags of MountApplicationPackage: join the mounts already present
// instead of replacing them.
constexpr unsigned kMountKeepExisting = 0x1;

// Makes the package (fully opened, content decoded) the current
// application package and mounts every file of it under the virtual root
// (plus subFolder: "" or "\", or a text beginning with one backslash or
// slash followed by a name). Entries marked ":exec( immediate )" run. The
// package's Custom text becomes the instance name. Unless the application
// definitions enable raw access the package's content is then dropped.
// False when refused (application key set and the package not enciphered,
// or an invalid sub-folder: nothing changes) or when extraction failed (the
// mounts made so far stay). A null package only applies the last step to
// the current one.
bool MountApplicationPackage(ZEQPackageDATA* package, const char* subFolder, unsigned flags);

// True when the loader may be used: no loader path, a loader path inside
// the package root, or a loose loader file that passes the content source
// test on its first 624 bytes.
bool IsLoaderPackageFile(const char* loaderPath);

// Shutdown step of the package library: closes and frees the current
// application package. Always true.
bool ReleaseApplicationPackage();
