// Inline style text ("left: 10px; color: red"): declarations in order, names
// in lower case. Pure text handling.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace dochost {

using CssDeclarations = std::vector<std::pair<std::wstring, std::wstring>>;

CssDeclarations ParseCssDeclarations(const std::wstring& text);
std::wstring SerializeCssDeclarations(const CssDeclarations& decls);
// The value of a property, or empty.
std::wstring CssValue(const CssDeclarations& decls, const std::wstring& name);
// Sets (an empty value removes) a property, keeping the order of the others.
void SetCssValue(CssDeclarations* decls, const std::wstring& name, const std::wstring& value);
// "backgroundColor" -> "background-color"; names already dashed stay.
std::wstring CssPropertyName(const std::wstring& script_name);
// Pixels of a length ("12px", "12", " 12.7px"); false when it is none.
bool CssPixels(const std::wstring& value, long* pixels);

}  // namespace dochost
