// element.style (the element's style attribute) and element.currentStyle
// (that style, inherited values and the defaults of the element's tag).
#include "css_text.h"
#include "document.h"

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

HRESULT Style::QueryInterface(REFIID iid, void** out) {
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
}

size_t Style::Faces(DispatchFace* out, size_t max) {
  if (max < 1) return 0;
  out[0] = {&IID_IHTMLStyle, static_cast<IHTMLStyle*>(this)};
  return 1;
}

HRESULT Style::PutText(const wchar_t* css, const std::wstring& value) {
  CssDeclarations decls = ParseCssDeclarations(owner_->AttrText(L"style"));
  SetCssValue(&decls, css, value);
  owner_->SetAttrText(L"style", SerializeCssDeclarations(decls));
  return S_OK;
}

HRESULT Style::GetText(const wchar_t* css, BSTR* p) {
  return ReturnBstr(CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css), p);
}

HRESULT Style::PutVar(const wchar_t* css, const VARIANT* v, bool pixels) {
  // Numbers given for lengths are pixels.
  if (pixels && V_VT(v) != VT_BSTR && V_VT(v) != VT_EMPTY && V_VT(v) != VT_NULL)
    return PutText(css, std::to_wstring(VariantLong(v, 0)) + L"px");
  return PutText(css, VariantText(v));
}

HRESULT Style::GetVar(const wchar_t* css, VARIANT* p) {
  if (!p) return E_POINTER;
  SetVariantString(p, CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css));
  return S_OK;
}

HRESULT Style::PutPixels(const wchar_t* css, LONG v) { return PutText(css, std::to_wstring(v) + L"px"); }

HRESULT Style::GetPixels(const wchar_t* css, LONG* p) {
  if (!p) return E_POINTER;
  long px = 0;
  CssPixels(CssValue(ParseCssDeclarations(owner_->AttrText(L"style")), css), &px);
  *p = px;
  return S_OK;
}

HRESULT Style::setAttribute(BSTR name, VARIANT value, LONG) {
  return PutVar(CssPropertyName(BstrText(name)).c_str(), &value, false);
}

HRESULT Style::getAttribute(BSTR name, LONG, VARIANT* value) {
  return GetVar(CssPropertyName(BstrText(name)).c_str(), value);
}

HRESULT Style::removeAttribute(BSTR name, LONG, VARIANT_BOOL* ok) {
  std::wstring css = CssPropertyName(BstrText(name));
  CssDeclarations decls = ParseCssDeclarations(owner_->AttrText(L"style"));
  bool had = !CssValue(decls, css).empty();
  PutText(css.c_str(), L"");
  if (ok) *ok = had ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT Style::put_cssText(BSTR v) {
  owner_->SetAttrText(L"style", SerializeCssDeclarations(ParseCssDeclarations(BstrText(v))));
  return S_OK;
}

HRESULT Style::get_cssText(BSTR* p) {
  return ReturnBstr(SerializeCssDeclarations(ParseCssDeclarations(owner_->AttrText(L"style"))), p);
}

#define ZEQ_STYLE_TEXT_IMPL(prop, css)                                   \
  HRESULT Style::put_##prop(BSTR v) { return PutText(css, BstrText(v)); } \
  HRESULT Style::get_##prop(BSTR* p) { return GetText(css, p); }
#define ZEQ_STYLE_VAR_IMPL(prop, css, pixels)                                \
  HRESULT Style::put_##prop(VARIANT v) { return PutVar(css, &v, pixels); } \
  HRESULT Style::get_##prop(VARIANT* p) { return GetVar(css, p); }
#define ZEQ_STYLE_PIXEL_IMPL(prop, css)                                \
  HRESULT Style::put_##prop(LONG v) { return PutPixels(css, v); }     \
  HRESULT Style::get_##prop(LONG* p) { return GetPixels(css, p); }

ZEQ_STYLE_TEXT_IMPL(display, L"display")
ZEQ_STYLE_TEXT_IMPL(visibility, L"visibility")
ZEQ_STYLE_TEXT_IMPL(overflow, L"overflow")
ZEQ_STYLE_TEXT_IMPL(cursor, L"cursor")
ZEQ_STYLE_TEXT_IMPL(fontFamily, L"font-family")
ZEQ_STYLE_TEXT_IMPL(background, L"background")
ZEQ_STYLE_TEXT_IMPL(border, L"border")
HRESULT Style::get_position(BSTR* p) { return GetText(L"position", p); }
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

HRESULT CurrentStyle::QueryInterface(REFIID iid, void** out) {
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
}

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

HRESULT CurrentStyle::Text(const wchar_t* css, BSTR* p) const { return ReturnBstr(Value(css), p); }

HRESULT CurrentStyle::Variant(const wchar_t* css, VARIANT* p) const {
  if (!p) return E_POINTER;
  SetVariantString(p, Value(css));
  return S_OK;
}

HRESULT CurrentStyle::getAttribute(BSTR name, LONG, VARIANT* value) {
  return Variant(CssPropertyName(BstrText(name)).c_str(), value);
}

#define ZEQ_CURRENT_TEXT_IMPL(prop, css) \
  HRESULT CurrentStyle::get_##prop(BSTR* p) { return Text(css, p); }
#define ZEQ_CURRENT_VAR_IMPL(prop, css) \
  HRESULT CurrentStyle::get_##prop(VARIANT* p) { return Variant(css, p); }
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
