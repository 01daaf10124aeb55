// HTML text to the document host's element tree (through the gumbo HTML5
// parser) and back to markup.
#pragma once
#include <string>
#include <vector>

#include "dom.h"

namespace dochost {

// The tree of a whole document: the HTML element with head and body, whatever
// the markup. Comments and the doctype are not kept.
Element* ParseDocumentTree(Document* doc, const std::string& utf8);
// Nodes of a fragment parsed as the content of an element with the given tag;
// each node carries one reference for the caller.
std::vector<Node*> ParseFragmentNodes(Document* doc, const std::string& utf8, const std::wstring& context_tag);
// Markup of an element's content, and of the element itself.
std::wstring SerializeChildren(const Element* element);
std::wstring SerializeElement(const Element* element);

}  // namespace dochost
