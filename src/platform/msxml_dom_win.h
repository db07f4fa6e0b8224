// Small reading helpers over MSXML's DOM nodes, shared by the XML backend's files.
// Windows-only.
#ifndef QNMURO_PLATFORM_MSXML_DOM_WIN_H_
#define QNMURO_PLATFORM_MSXML_DOM_WIN_H_

#include <windows.h>

#include <msxml2.h>

#include <string>

#include "platform/com_win.h"

namespace qnmuro::msxml {

using com::Bstr;
using com::Ptr;
using com::Variant;

inline Ptr<IXMLDOMNode> Next(const Ptr<IXMLDOMNode>& node) {
  Ptr<IXMLDOMNode> next;
  node->get_nextSibling(next.Out());
  return next;
}

inline Ptr<IXMLDOMNode> First(const Ptr<IXMLDOMNode>& node) {
  Ptr<IXMLDOMNode> first;
  node->get_firstChild(first.Out());
  return first;
}

inline DOMNodeType TypeOf(const Ptr<IXMLDOMNode>& node) {
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  return type;
}

inline std::u16string ValueOf(const Ptr<IXMLDOMNode>& node) {
  Variant value;
  node->get_nodeValue(value.get());
  return value.Text();
}

inline std::u16string NameOf(const Ptr<IXMLDOMNode>& node) {
  Bstr name;
  node->get_nodeName(name.Out());
  return name.Text();
}

// The encoding the document's declaration names, UTF-8 when it has none.
std::string DeclaredEncoding(const Ptr<IXMLDOMNode>& document);

// The whole document in `encoding` with a declaration naming it. Written here rather than by
// the parser's own save, which is not trusted to keep a CR or the declared encoding.
std::string Serialize(const Ptr<IXMLDOMNode>& document, const std::string& encoding);
// One node as UTF-8 XML text: no declaration, nothing added around or between its parts.
std::string SerializeNode(const Ptr<IXMLDOMNode>& node);

}  // namespace qnmuro::msxml

#endif  // QNMURO_PLATFORM_MSXML_DOM_WIN_H_
