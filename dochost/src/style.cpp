// element.style (the element's style attribute) and element.currentStyle
// (that style, inherited values and the defaults of the element's tag).
#include "css_text.h"

#include "document.h"
#include "foundation/com_guard.h"

namespace dochost {
namespace {

std::wstring BstrText(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// Values a property has when no style of the element or its ancestors sets it.
std::wstring DefaultValue(const Element* e, const std::wstring& css) {
  if (css == L"display") {
    static const wchar_t* const kHidden[] = {L"HEAD", L"SCRIPT", L"STYLE", L"TITLE", L"META", L"LINK"};
    static const wchar_t* const kBlock[] = {L"HTML", L"BODY", L"DIV", L"P", L"FORM", L"UL", L"OL", L"H1", L"H2",
                                            L"H3", L"H4", L"H5", L"H6", L"PRE", L"CENTER", L"HR", L"TABLE"};
    for (const wchar_t* t : kHidden)
      if (e->IsTag(t)) return L"none";
    for (const wchar_t* t : kBlock)
      if (e->IsTag(t)) return L"block";
    if (e->IsTag(L"LI")) return L"list-item";
    return L"inline";
  }
  if (css == L"visibility") return L"inherit";
  if (css == L"position") return L"static";
  if (css == L"overflow") return L"visible";
  if (css == L"z-index" || css == L"left" || css == L"top" || css == L"width" || css == L"height" ||
      css == L"cursor")
    return L"auto";
  if (css == L"background-color") return L"transparent";
  if (css == L"color") return L"#000000";
  return std::wstring();
}

bool Inherited(const std::wstring& css) {
  return css == L"color" || css == L"font-family" || css == L"font-size" || css == L"visibility" ||
         css == L"cursor" || css == L"font-weight" || css == L"font-style";
}

}  // namespace

// ---- Style

Style::Style(Element* owner) : owner_ref_(static_cast<IHTMLElement*>(owner)), owner_(owner) {}

HRESULT Style::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLStyle)
    *out = static_cast<IHTMLStyle*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("Style::QueryInterface")

size_t Style::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLStyle, static_cast<IHTMLStyle*>(this)};
  return 1;
}

HRESULT Style::PutText(const wchar_t* css, const std::wstring& value) try {
  CssDeclarations decls = ParseCssDeclarations(owner_->AttrText(L"style"));
  SetCssValue(&decls, css, value);
  owner_->SetAttrText(L"style", SerializeCssDeclarations(decls));
  return S_OK;
} ZEQ_COM_CATCH("Style::PutText")

HRESULT Style::GetText(const wchar_t* css, BSTR* p) try {
  return ReturnBstr(CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css), p);
} ZEQ_COM_CATCH("Style::GetText")

HRESULT Style::PutVar(const wchar_t* css, const VARIANT* v, bool pixels) try {
  // Numbers given for lengths are pixels.
  if (pixels && V_VT(v) != VT_BSTR && V_VT(v) != VT_EMPTY && V_VT(v) != VT_NULL)
    return PutText(css, std::to_wstring(VariantLong(v, 0)) + L"px");
  return PutText(css, VariantText(v));
} ZEQ_COM_CATCH("Style::PutVar")

HRESULT Style::GetVar(const wchar_t* css, VARIANT* p) try {
  if (!p) return E_POINTER;
  SetVariantString(p, CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css));
  return S_OK;
} ZEQ_COM_CATCH("Style::GetVar")

HRESULT Style::PutPixels(const wchar_t* css, LONG v) try { return PutText(css, std::to_wstring(v) + L"px"); } ZEQ_COM_CATCH("Style::PutPixels")

HRESULT Style::GetPixels(const wchar_t* css, LONG* p) try {
  if (!p) return E_POINTER;
  long px = 0;
  CssPixels(CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css), &px);
  *p = px;
  return S_OK;
} ZEQ_COM_CATCH("Style::GetPixels")

HRESULT Style::setAttribute(BSTR name, VARIANT value, LONG) try {
  return PutVar(CssPropertyName(BstrText(name)).c_str(), &value, false);
} ZEQ_COM_CATCH("Style::setAttribute")

HRESULT Style::getAttribute(BSTR name, LONG, VARIANT* value) try {
  return GetVar(CssPropertyName(BstrText(name)).c_str(), value);
} ZEQ_COM_CATCH("Style::getAttribute")

HRESULT Style::removeAttribute(BSTR name, LONG, VARIANT_BOOL* ok) try {
  std::wstring css = CssPropertyName(BstrText(name));
  CssDeclarations decls = ParseCssDeclarations(owner_->AttrText(L"style"));
  bool had = !CssValue(decls, css).empty();
  PutText(css.c_str(), L"");
  if (ok) *ok = had ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
} ZEQ_COM_CATCH("Style::removeAttribute")

HRESULT Style::put_cssText(BSTR v) try {
  owner_->SetAttrText(L"style", SerializeCssDeclarations(ParseCssDeclarations(BstrText(v))));
  return S_OK;
} ZEQ_COM_CATCH("Style::put_cssText")

HRESULT Style::get_cssText(BSTR* p) try {
  return ReturnBstr(SerializeCssDeclarations(ParseCssDeclarations(owner_->AttrText(L"style"))), p);
} ZEQ_COM_CATCH("Style::get_cssText")

#define ZEQ_STYLE_TEXT_IMPL(prop, css)                                                                     \
  HRESULT Style::put_##prop(BSTR v) try { return PutText(css, BstrText(v)); } ZEQ_COM_CATCH("Style::put_" #prop) \
  HRESULT Style::get_##prop(BSTR* p) try { return GetText(css, p); } ZEQ_COM_CATCH("Style::get_" #prop)
#define ZEQ_STYLE_VAR_IMPL(prop, css, pixels)                                                                  \
  HRESULT Style::put_##prop(VARIANT v) try { return PutVar(css, &v, pixels); } ZEQ_COM_CATCH("Style::put_" #prop) \
  HRESULT Style::get_##prop(VARIANT* p) try { return GetVar(css, p); } ZEQ_COM_CATCH("Style::get_" #prop)
#define ZEQ_STYLE_PIXEL_IMPL(prop, css)                                                                  \
  HRESULT Style::put_##prop(LONG v) try { return PutPixels(css, v); } ZEQ_COM_CATCH("Style::put_" #prop) \
  HRESULT Style::get_##prop(LONG* p) try { return GetPixels(css, p); } ZEQ_COM_CATCH("Style::get_" #prop)

ZEQ_STYLE_TEXT_IMPL(display, L"display")
ZEQ_STYLE_TEXT_IMPL(visibility, L"visibility")
ZEQ_STYLE_TEXT_IMPL(overflow, L"overflow")
ZEQ_STYLE_TEXT_IMPL(cursor, L"cursor")
ZEQ_STYLE_TEXT_IMPL(fontFamily, L"font-family")
ZEQ_STYLE_TEXT_IMPL(background, L"background")
ZEQ_STYLE_TEXT_IMPL(border, L"border")
HRESULT Style::get_position(BSTR* p) try { return GetText(L"position", p); } ZEQ_COM_CATCH("Style::get_position")
ZEQ_STYLE_VAR_IMPL(left, L"left", true)
ZEQ_STYLE_VAR_IMPL(top, L"top", true)
ZEQ_STYLE_VAR_IMPL(width, L"width", true)
ZEQ_STYLE_VAR_IMPL(height, L"height", true)
ZEQ_STYLE_VAR_IMPL(color, L"color", false)
ZEQ_STYLE_VAR_IMPL(backgroundColor, L"background-color", false)
ZEQ_STYLE_VAR_IMPL(fontSize, L"font-size", true)
ZEQ_STYLE_VAR_IMPL(zIndex, L"z-index", false)
ZEQ_STYLE_PIXEL_IMPL(pixelLeft, L"left")
ZEQ_STYLE_PIXEL_IMPL(pixelTop, L"top")
ZEQ_STYLE_PIXEL_IMPL(pixelWidth, L"width")
ZEQ_STYLE_PIXEL_IMPL(pixelHeight, L"height")

// ---- CurrentStyle

CurrentStyle::CurrentStyle(Element* owner) : owner_ref_(static_cast<IHTMLElement*>(owner)), owner_(owner) {}

HRESULT CurrentStyle::QueryInterface(REFIID iid, void** out) try {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDispatchEx)
    *out = static_cast<IDispatchEx*>(this);
  else if (iid == IID_IHTMLCurrentStyle)
    *out = static_cast<IHTMLCurrentStyle*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
} ZEQ_COM_CATCH("CurrentStyle::QueryInterface")

size_t CurrentStyle::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLCurrentStyle, static_cast<IHTMLCurrentStyle*>(this)};
  return 1;
}

std::wstring CurrentStyle::Value(const std::wstring& css) const {
  for (const Element* e = owner_; e; e = e->ParentElement()) {
    std::wstring v = CssValue(ParseCssDeclarations(e->AttrText(L"style")), css);
    if (!v.empty() && v != L"inherit") return v;
    if (!Inherited(css)) break;
  }
  return DefaultValue(owner_, css);
}

HRESULT CurrentStyle::Text(const wchar_t* css, BSTR* p) const try { return ReturnBstr(Value(css), p); } ZEQ_COM_CATCH("CurrentStyle::Text")

HRESULT CurrentStyle::Variant(const wchar_t* css, VARIANT* p) const try {
  if (!p) return E_POINTER;
  SetVariantString(p, Value(css));
  return S_OK;
} ZEQ_COM_CATCH("CurrentStyle::Variant")

HRESULT CurrentStyle::getAttribute(BSTR name, LONG, VARIANT* value) try {
  return Variant(CssPropertyName(BstrText(name)).c_str(), value);
} ZEQ_COM_CATCH("CurrentStyle::getAttribute")

#define ZEQ_CURRENT_TEXT_IMPL(prop, css)                               \
  HRESULT CurrentStyle::get_##prop(BSTR* p) try { return Text(css, p); } \
  ZEQ_COM_CATCH("CurrentStyle::get_" #prop)
#define ZEQ_CURRENT_VAR_IMPL(prop, css)                                      \
  HRESULT CurrentStyle::get_##prop(VARIANT* p) try { return Variant(css, p); } \
  ZEQ_COM_CATCH("CurrentStyle::get_" #prop)
ZEQ_CURRENT_TEXT_IMPL(display, L"display")
ZEQ_CURRENT_TEXT_IMPL(visibility, L"visibility")
ZEQ_CURRENT_TEXT_IMPL(position, L"position")
ZEQ_CURRENT_TEXT_IMPL(overflow, L"overflow")
ZEQ_CURRENT_TEXT_IMPL(cursor, L"cursor")
ZEQ_CURRENT_TEXT_IMPL(fontFamily, L"font-family")
ZEQ_CURRENT_VAR_IMPL(left, L"left")
ZEQ_CURRENT_VAR_IMPL(top, L"top")
ZEQ_CURRENT_VAR_IMPL(width, L"width")
ZEQ_CURRENT_VAR_IMPL(height, L"height")
ZEQ_CURRENT_VAR_IMPL(color, L"color")
ZEQ_CURRENT_VAR_IMPL(backgroundColor, L"background-color")
ZEQ_CURRENT_VAR_IMPL(fontSize, L"font-size")
ZEQ_CURRENT_VAR_IMPL(zIndex, L"z-index")

}  // namespace dochost
