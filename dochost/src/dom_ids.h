// Private identifiers and small helpers shared by the page-model files.
#pragma once
#include <windows.h>

#include <string>

namespace dochost {

// Asked of an object to learn whether it is a node of this document host:
// answers the Node base (one reference, released through NodeRelease).
extern const IID IID_DocHostNode;
// Asked of an object to learn whether it is an event object of this host.
extern const IID IID_DocHostEventObj;

// "0", "12": the index a collection member name stands for.
bool ParseIndexName(const std::wstring& name, long* index);

}  // namespace dochost
