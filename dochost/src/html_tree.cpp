#include "html_tree.h"

#include <gumbo.h>

#include <cstring>

namespace dochost {
namespace {

std::wstring TagName(const GumboElement& e) {
  if (e.tag != GUMBO_TAG_UNKNOWN) {
    const char* name = gumbo_normalized_tagname(e.tag);
    return Utf8ToWide(name, std::strlen(name));
  }
  // Unknown and prefixed tags (KESTO:Button) keep the name as written.
  GumboStringPiece piece = e.original_tag;
  gumbo_tag_from_original_text(&piece);
  return Utf8ToWide(piece.data, piece.length);
}

Node* BuildNode(Document* doc, const GumboNode* g);

void BuildChildren(Document* doc, Element* parent, const GumboVector& children) {
  for (unsigned i = 0; i < children.length; ++i) {
    Node* child = BuildNode(doc, static_cast<const GumboNode*>(children.data[i]));
    if (!child) continue;
    parent->InsertChild(child, nullptr);
    child->NodeRelease();
  }
}

Node* BuildNode(Document* doc, const GumboNode* g) {
  switch (g->type) {
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE: {
      const GumboElement& ge = g->v.element;
      Element* e = new Element(doc, TagName(ge));
      for (unsigned i = 0; i < ge.attributes.length; ++i) {
        const GumboAttribute* a = static_cast<const GumboAttribute*>(ge.attributes.data[i]);
        e->SetAttrText(Utf8ToWide(a->name, std::strlen(a->name)), Utf8ToWide(a->value, std::strlen(a->value)));
      }
      BuildChildren(doc, e, ge.children);
      if (ge.tag == GUMBO_TAG_SCRIPT && ge.children.length > 0) {
        const GumboNode* text = static_cast<const GumboNode*>(ge.children.data[0]);
        if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_WHITESPACE)
          e->SetSourceLine(text->v.text.start_pos.line);
      }
      return e;
    }
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_CDATA:
    case GUMBO_NODE_WHITESPACE:
      return new TextNode(doc, Utf8ToWide(g->v.text.text, std::strlen(g->v.text.text)));
    default:
      return nullptr;  // comments, the document node
  }
}

GumboOutput* Parse(const std::string& utf8, GumboTag context) {
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // errors are not reported: do not collect them
  options.fragment_context = context;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  return gumbo_parse_with_options(&options, utf8.data(), utf8.size());
}

void Destroy(GumboOutput* out) { gumbo_destroy_output(&kGumboDefaultOptions, out); }

bool IsVoid(const std::wstring& tag) {
  static const wchar_t* const kVoid[] = {L"AREA", L"BASE", L"BR", L"COL", L"EMBED", L"HR", L"IMG", L"INPUT",
                                         L"LINK", L"META", L"PARAM", L"SOURCE", L"TRACK", L"WBR"};
  for (const wchar_t* v : kVoid)
    if (tag == v) return true;
  return false;
}

bool IsRawText(const std::wstring& tag) { return tag == L"SCRIPT" || tag == L"STYLE"; }

void Escape(const std::wstring& s, bool attribute, std::wstring* out) {
  for (wchar_t c : s) {
    switch (c) {
      case L'&': *out += L"&amp;"; break;
      case L'<': *out += attribute ? L"<" : L"&lt;"; break;
      case L'>': *out += attribute ? L">" : L"&gt;"; break;
      case L'"': *out += attribute ? L"&quot;" : L"\""; break;
      case 0xA0: *out += L"&nbsp;"; break;
      default: *out += c;
    }
  }
}

std::wstring MarkupName(const std::wstring& tag) {
  return tag.find(L':') == std::wstring::npos ? Lower(tag) : tag;
}

void SerializeInto(const Element* e, bool self, std::wstring* out);

void SerializeChildrenInto(const Element* e, std::wstring* out) {
  bool raw = IsRawText(e->Tag());
  for (Node* n : e->Children()) {
    if (n->NodeKind() == Node::Kind::kText) {
      if (raw)
        *out += n->TextContent();
      else
        Escape(n->TextContent(), false, out);
    } else {
      SerializeInto(static_cast<Element*>(n), true, out);
    }
  }
}

void SerializeInto(const Element* e, bool self, std::wstring* out) {
  if (!self) {
    SerializeChildrenInto(e, out);
    return;
  }
  std::wstring name = MarkupName(e->Tag());
  *out += L'<';
  *out += name;
  for (const Attr& a : e->Attrs()) {
    if (V_VT(a.value.Get()) == VT_EMPTY) continue;  // removed
    *out += L' ';
    *out += a.name;
    *out += L"=\"";
    Escape(VariantText(a.value.Get()), true, out);
    *out += L'"';
  }
  *out += L'>';
  if (IsVoid(e->Tag())) return;
  SerializeChildrenInto(e, out);
  *out += L"</";
  *out += name;
  *out += L'>';
}

}  // namespace

Element* ParseDocumentTree(Document* doc, const std::string& utf8) {
  GumboOutput* out = Parse(utf8, GUMBO_TAG_LAST);
  if (!out) return nullptr;
  Node* root = out->root ? BuildNode(doc, out->root) : nullptr;
  Destroy(out);
  return root ? static_cast<Element*>(root) : nullptr;
}

std::vector<Node*> ParseFragmentNodes(Document* doc, const std::string& utf8, const std::wstring& context_tag) {
  std::vector<Node*> nodes;
  std::string tag = WideToUtf8(Lower(context_tag));
  GumboTag context = gumbo_tagn_enum(tag.c_str(), static_cast<unsigned>(tag.size()));
  // Unknown, raw-text and document-level contexts parse as in a DIV.
  if (context == GUMBO_TAG_UNKNOWN || context == GUMBO_TAG_HTML || context == GUMBO_TAG_SCRIPT ||
      context == GUMBO_TAG_STYLE || context == GUMBO_TAG_TITLE || context == GUMBO_TAG_TEXTAREA)
    context = GUMBO_TAG_DIV;
  GumboOutput* out = Parse(utf8, context);
  if (!out) return nodes;
  // The fragment's nodes are the children of the output's root element.
  if (out->root && out->root->type == GUMBO_NODE_ELEMENT) {
    const GumboVector& children = out->root->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
      if (Node* n = BuildNode(doc, static_cast<const GumboNode*>(children.data[i]))) nodes.push_back(n);
  }
  Destroy(out);
  return nodes;
}

std::wstring SerializeChildren(const Element* element) {
  std::wstring out;
  SerializeInto(element, false, &out);
  return out;
}

std::wstring SerializeElement(const Element* element) {
  std::wstring out;
  SerializeInto(element, true, &out);
  return out;
}

}  // namespace dochost
