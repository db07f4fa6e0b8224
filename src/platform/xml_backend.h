// What the XML backends share (xml_common.cc) and the primitives each backend provides for it.
// For the backends only: the rest of the add-in includes platform/xml.h.
#ifndef QNMURO_PLATFORM_XML_BACKEND_H_
#define QNMURO_PLATFORM_XML_BACKEND_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "platform/xml.h"

namespace qnmuro::xml_backend {

// ---- Each backend's primitives ----

void FreeDocument(XmlDocumentImpl* doc);
void FreeSchema(XmlSchemaImpl* schema);

// Reads and compiles the XSD at `xsd_path`, whose target namespace must be `namespace_uri`.
// Throws Error 53 when the file is missing and Error 5 when it is no such schema (see the
// helpers below).
XmlSchemaImpl* CompileSchema(std::u16string_view namespace_uri, std::u16string_view xsd_path);

// What an XPath evaluation gave: the selected nodes in document order, or why there are none.
struct XPathOutcome {
  bool node_set = false;  // false: the expression failed or selects no nodes
  long code = 0;          // the parser's code, for the last system error
  std::u16string reason;  // empty: the expression does not select nodes
  std::vector<XmlNode> nodes;
};
// Evaluates `xpath` with `context` (never null) as the context node. May throw for what the
// outcome cannot say (no memory, an unbound variable the backend finds itself).
XPathOutcome Evaluate(XmlNodeImpl* context, std::string_view xpath,
                      const XPathVariables& variables);

// ---- Shared ----

// The errors of a schema that cannot be added, with the last system error set to `code`.
Error SchemaFileMissing(std::u16string_view xsd_path, long code);
Error SchemaInvalid(std::u16string_view xsd_path, std::u16string_view reason);
Error SchemaTargetDiffers(std::u16string_view target, std::u16string_view namespace_uri);

// Why a document whose root element is in `namespace_uri` cannot be validated by `schemas`
// when no schema is registered for it (`code` is the parser's code for that).
XmlParseError NoSchemaFor(std::u16string_view namespace_uri, long code);

// The query with each $name outside a string literal replaced by a literal of the variable's
// value, quoted so that no value can change what the query means, for a parser without XPath
// variables. Throws Error 5 for a variable `variables` lacks.
std::u16string BindVariables(std::u16string_view xpath, const XPathVariables& variables);

template <class Char>
bool IsBlankText(std::basic_string_view<Char> text) {
  for (Char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

// The blank-text rule: below `top`, each text node that holds only white space (IsBlankText)
// goes, unless xml:space="preserve" holds at its parent element. `tree` gives the backend's
// primitives: First(node), Next(node), IsElement(node), IsBlankText(node), Preserves(element)
// and Remove(parent, child); a Node tests false when there is none. Iterative, so that depth
// never costs stack.
template <class Tree, class Node>
void DropBlankText(Tree& tree, const Node& top) {
  std::vector<Node> pending{top};
  while (!pending.empty()) {
    const Node parent = pending.back();
    pending.pop_back();
    std::optional<bool> preserve;
    for (Node child = tree.First(parent); child;) {
      Node next = tree.Next(child);
      if (tree.IsElement(child)) {
        pending.push_back(child);
      } else if (tree.IsBlankText(child)) {
        if (!preserve) preserve = tree.Preserves(parent);
        if (!*preserve) tree.Remove(parent, child);
      }
      child = next;
    }
  }
}

}  // namespace qnmuro::xml_backend

#endif  // QNMURO_PLATFORM_XML_BACKEND_H_
