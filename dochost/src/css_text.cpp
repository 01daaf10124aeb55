#include "css_text.h"

#include <cwchar>
#include <cwctype>

namespace dochost {
namespace {

std::wstring TrimText(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::wstring LowerText(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

}  // namespace

CssDeclarations ParseCssDeclarations(const std::wstring& text) {
  CssDeclarations out;
  size_t pos = 0;
  while (pos <= text.size()) {
    // A semicolon inside quotes or parentheses (url(a;b)) does not end it.
    size_t end = pos;
    int depth = 0;
    wchar_t quote = 0;
    for (; end < text.size(); ++end) {
      wchar_t c = text[end];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == L'"' || c == L'\'') {
        quote = c;
      } else if (c == L'(') {
        ++depth;
      } else if (c == L')' && depth > 0) {
        --depth;
      } else if (c == L';' && depth == 0) {
        break;
      }
    }
    std::wstring decl = text.substr(pos, end - pos);
    size_t colon = decl.find(L':');
    if (colon != std::wstring::npos) {
      std::wstring name = LowerText(TrimText(decl.substr(0, colon)));
      std::wstring value = TrimText(decl.substr(colon + 1));
      if (!name.empty()) SetCssValue(&out, name, value);
    }
    pos = end + 1;
  }
  return out;
}

std::wstring SerializeCssDeclarations(const CssDeclarations& decls) {
  std::wstring s;
  for (const auto& d : decls) {
    if (!s.empty()) s += L"; ";
    s += d.first + L": " + d.second;
  }
  return s;
}

std::wstring CssValue(const CssDeclarations& decls, const std::wstring& name) {
  std::wstring key = LowerText(name);
  for (const auto& d : decls)
    if (d.first == key) return d.second;
  return std::wstring();
}

void SetCssValue(CssDeclarations* decls, const std::wstring& name, const std::wstring& value) {
  std::wstring key = LowerText(name);
  std::wstring v = TrimText(value);
  for (auto it = decls->begin(); it != decls->end(); ++it) {
    if (it->first == key) {
      if (v.empty())
        decls->erase(it);
      else
        it->second = v;
      return;
    }
  }
  if (!v.empty()) decls->emplace_back(key, v);
}

std::wstring CssPropertyName(const std::wstring& script_name) {
  std::wstring out;
  for (wchar_t c : script_name) {
    if (std::iswupper(c)) {
      out += L'-';
      out += static_cast<wchar_t>(std::towlower(c));
    } else {
      out += c;
    }
  }
  return out;
}

bool CssPixels(const std::wstring& value, long* pixels) {
  std::wstring v = TrimText(value);
  if (v.empty()) return false;
  wchar_t* end = nullptr;
  double d = std::wcstod(v.c_str(), &end);
  if (end == v.c_str()) return false;
  std::wstring unit = LowerText(TrimText(end));
  if (!unit.empty() && unit != L"px") return false;
  *pixels = static_cast<long>(d);
  return true;
}

}  // namespace dochost
