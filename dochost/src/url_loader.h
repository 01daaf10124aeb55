// Reading pages and scripts through URL monikers (file:, res:, and any
// protocol registered with the URL moniker system, such as the host's own).
#pragma once
#include <windows.h>

#include <string>

namespace dochost {

// A file path becomes a file: URL; anything else stays as given.
std::wstring NormalizeUrl(const std::wstring& url);
// A relative address resolved against a base URL.
std::wstring CombineUrl(const std::wstring& base, const std::wstring& relative);
// The whole content of a URL; the HRESULT of the binding on failure.
HRESULT LoadUrlBytes(const std::wstring& url, std::string* bytes);
// Page bytes as text: a byte-order mark decides, else UTF-8 when the bytes
// are valid UTF-8, else the ANSI code page.
std::wstring DecodeText(const std::string& bytes);

}  // namespace dochost
