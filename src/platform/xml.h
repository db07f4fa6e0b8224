// The add-in's XML documents: a small DOM with XPath selection, saving and XSD validation. Every
// backend behaves like the XML parser the add-in was designed against:
//   - loading is synchronous and reports success plus a parse error code and reason;
//   - text nodes that hold only white space (space, tab, CR, LF) are dropped on load, except
//     under xml:space="preserve", so the first child of an element is its first element or its
//     first real text;
//   - nothing is fetched from the network and no external entity or DTD is loaded; the parser's
//     size and depth limits apply, so huge or deeply nested input fails cleanly;
//   - the encoding labels "gb2312", "GB_2312-80", "csGB2312" and "CP936" (any letter case)
//     are read and written as GBK (code page 936), as the OA servers that use them mean it;
//   - the parser never writes to the terminal: what goes wrong is reported only through the
//     results below (parse_error(), Error).
//
// XmlDocument owns the tree; XmlNode is a non-owning handle that stays valid while its document
// lives and the node is not removed (SetText removes the children of the node it is called on).
// Not thread-safe: one document is used by one thread at a time.
#ifndef QNMURO_PLATFORM_XML_H_
#define QNMURO_PLATFORM_XML_H_

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qnmuro {

// What a node handle and a document stand for is each backend's own; this header pulls in no
// backend's headers.
struct XmlNodeImpl;
struct XmlDocumentImpl;
struct XmlSchemaImpl;

// XPath variables, bound as string values: a query refers to them as $name. Values are never
// pasted into the query text, so no value can change the query's meaning.
using XPathVariables = std::map<std::string, std::u16string>;

// Why the last load or validation failed. code 0 means no error.
struct XmlParseError {
  long code = 0;          // the parser's own error code; 0 when none
  std::u16string reason;  // the parser's message, without trailing line break
  int line = 0;           // 1-based line of the error when known, else 0
  int column = 0;         // 1-based column on that line when known, else 0
};

// Why the file at `path` did not load (its load ended with `error`), in plain English words for
// the person who wrote it: no such file, not a file, the encoding its declaration does not
// name (a GBK file without one), or the parser's message with line and column.
std::u16string XmlFileTrouble(std::u16string_view path, const XmlParseError& error);

class XmlNode {
 public:
  XmlNode() = default;
  // For the backends: the handle of the node they stand for.
  explicit XmlNode(XmlNodeImpl* node) : node_(node) {}

  // False for the null node (no match, no child, ...).
  explicit operator bool() const { return node_ != nullptr; }
  bool IsElement() const;

  // The node's name as the DOM gives it: the qualified element name ("prefix:local"),
  // "#text", "#cdata-section", "#comment", a processing instruction's target, "#document".
  // The null node has an empty name.
  std::u16string Name() const;

  // The text of the node: for an element the concatenated text of all its descendants, for a
  // text, comment or processing instruction its content. Empty for the null node.
  std::u16string Text() const;

  // Replaces the node's whole content by one text node holding `text` (no node when `text` is
  // empty); handles to the removed children become invalid. Throws Error 91 on the null node
  // and Error 5 when `text` holds characters XML cannot carry (controls other than tab, CR and
  // LF, U+FFFE, U+FFFF, unpaired surrogates), leaving the node unchanged.
  void SetText(std::u16string_view text);

  // The value of the attribute `name` (no namespace), or nullopt when absent.
  std::optional<std::u16string> Attribute(std::u16string_view name) const;

  // Namespaces: an element's or attribute's namespace URI ("" when it has none) and its name
  // without prefix; both are empty for other nodes.
  std::u16string NamespaceUri() const;
  std::u16string LocalName() const;
  // True when the node is an element with this namespace URI and local name (cheaper than
  // comparing the two above, for readers that test every node).
  bool IsElement(std::u16string_view namespace_uri, std::u16string_view local_name) const;
  // True for a text or CDATA section node.
  bool IsText() const;

  // The text of the attribute `local_name` in namespace `namespace_uri` ("" for none), or
  // nullopt when absent. A reference to an entity the document declares adds nothing to it, so
  // that no value can be blown up by nested entities.
  std::optional<std::u16string> AttributeNs(std::u16string_view namespace_uri,
                                            std::u16string_view local_name) const;

  XmlNode FirstChild() const;
  XmlNode NextSibling() const;
  // All child nodes in document order (elements, texts, comments, ...; white-space-only text
  // too when the document keeps it).
  std::vector<XmlNode> Children() const;
  // The first child element called `name` (exact, case-sensitive), or the null node.
  XmlNode ChildElement(std::u16string_view name) const;
  XmlNode Parent() const;

  // XPath selection with this node as the context node: the first matching node in document
  // order (or the null node), or all matching nodes in document order. Throws Error 5 (with
  // the parser's code as the last system error) when the expression is invalid, refers to an
  // unbound variable or does not yield a node set, and Error 91 on the null node.
  XmlNode SelectSingleNode(std::string_view xpath, const XPathVariables& variables = {}) const;
  std::vector<XmlNode> SelectNodes(std::string_view xpath,
                                   const XPathVariables& variables = {}) const;

  // The node as XML text: no XML declaration, and no line break or indentation of the
  // serialiser's own. UTF-8 content, escaped as XML needs. Empty for the null node.
  std::u16string ToXml() const;

  // For the backends.
  XmlNodeImpl* impl() const { return node_; }
  // Handles to the same node are equal, and hash and order alike (as keys of maps).
  friend bool operator==(const XmlNode& a, const XmlNode& b) { return a.node_ == b.node_; }
  friend bool operator<(const XmlNode& a, const XmlNode& b) {
    return std::less<const XmlNodeImpl*>()(a.node_, b.node_);
  }

 private:
  XmlNodeImpl* node_ = nullptr;
};

// Schemas for validation, each registered under its target namespace ("" for a schema
// without one).
class XmlSchemaSet {
 public:
  XmlSchemaSet();
  ~XmlSchemaSet();
  XmlSchemaSet(const XmlSchemaSet&) = delete;
  XmlSchemaSet& operator=(const XmlSchemaSet&) = delete;

  // Reads the XSD file and registers it under `namespace_uri`, replacing an earlier schema for
  // it. Throws Error 53 when the file is missing, Error 5 when it is not a valid schema or its
  // targetNamespace differs from `namespace_uri` (the reason is in the description).
  void Add(std::u16string_view namespace_uri, std::u16string_view xsd_path);

  // The schema registered for `namespace_uri`, or null (for the backends).
  const XmlSchemaImpl* Find(std::u16string_view namespace_uri) const;

 private:
  std::vector<std::pair<std::u16string, XmlSchemaImpl*>> entries_;  // owned
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&& other) noexcept;
  XmlDocument& operator=(XmlDocument&& other) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Replaces the current tree by the file's (or the bytes') content, whose encoding is the one
  // its XML declaration names (UTF-8 without one). On failure the document
  // is left empty, parse_error() says why, the last system error is set (errno for a file
  // that cannot be read, else the parser's code) and the result is false. Never throws for bad
  // input. With `schemas`, the document is also validated against the schema registered for
  // its root element's namespace; no such schema is a validation failure.
  bool LoadFile(std::u16string_view path, const XmlSchemaSet* schemas = nullptr);
  bool LoadText(std::string_view bytes, const XmlSchemaSet* schemas = nullptr);

  // Keeps the text nodes that hold only white space on the following loads (for documents
  // whose spaces are content); by default they are dropped as described above.
  void set_keep_blank_text(bool keep) { keep_blank_text_ = keep; }

  bool loaded() const { return doc_ != nullptr; }
  // For the backends: the loaded tree, or null.
  XmlDocumentImpl* impl() const { return doc_; }
  const XmlParseError& parse_error() const { return error_; }

  // The root element, or the null node when nothing is loaded.
  XmlNode DocumentElement() const;
  // The document node itself (for XPath from the top), or the null node.
  XmlNode Root() const;

  // The whole document as XML text (UTF-8 declaration and content). Empty when not loaded.
  std::u16string ToXml() const;

  // Writes the document to `path` in its declared encoding (UTF-8 when none): first to a
  // temporary file beside it, then renamed over the target, so a failure never leaves a
  // half-written file. Throws Error 91 when nothing is loaded, Error 75 when writing fails
  // (errno as the last system error).
  void SaveFile(std::u16string_view path) const;

 private:
  bool Parse(std::string_view bytes, const std::string& url, const XmlSchemaSet* schemas);

  void Reset(XmlDocumentImpl* doc);

  XmlDocumentImpl* doc_ = nullptr;
  XmlParseError error_;
  bool keep_blank_text_ = false;
};

}  // namespace qnmuro

template <>
struct std::hash<qnmuro::XmlNode> {
  size_t operator()(const qnmuro::XmlNode& node) const {
    return std::hash<const qnmuro::XmlNodeImpl*>()(node.impl());
  }
};

#endif  // QNMURO_PLATFORM_XML_H_
