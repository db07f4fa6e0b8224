// The add-in's XML documents over MSXML through COM. A document owns one handle per node it
// has handed out, so that a node reached twice (by XPath and as a parent) is the same XmlNode,
// which MSXML's wrapper objects do not promise.
#include <windows.h>

#include <msxml2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "platform/com_win.h"
#include "platform/file_io.h"
#include "platform/msxml_dom_win.h"
#include "platform/xml.h"
#include "platform/xml_backend.h"
#include "platform/xml_text.h"

// Not every IID the documents need is in the import libraries.
static const IID kIidDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
static const IID kIidSchemaCollection = {
    0x373984c8, 0xb845, 0x449b, {0x91, 0xe7, 0x45, 0xac, 0x83, 0x03, 0x6a, 0xde}};

using qnmuro::com::Bstr;
using qnmuro::com::Ptr;
using qnmuro::com::Variant;
using qnmuro::msxml::First;
using qnmuro::msxml::NameOf;
using qnmuro::msxml::Next;
using qnmuro::msxml::TypeOf;
using qnmuro::msxml::ValueOf;

namespace qnmuro {

// One node as a document hands it out: its place in the tree is its identity.
struct XmlNodeImpl {
  Ptr<IXMLDOMNode> dom;
  XmlDocumentImpl* doc = nullptr;
  std::vector<long> path;  // child indexes from the document node; empty for the document
  DOMNodeType type = NODE_INVALID;
};

struct XmlDocumentImpl {
  Ptr<IXMLDOMDocument2> dom;
  // The label the loaded file's declaration had when the parser was handed another (a code
  // page 936 alias read as GBK); a save writes it again. Empty: the declaration's own.
  std::string encoding_label;
  std::map<std::vector<long>, std::unique_ptr<XmlNodeImpl>> nodes;
  std::vector<std::unique_ptr<XmlNodeImpl>> attributes;  // not tree nodes: no place of their own

  // The one handle of the node at `path`.
  XmlNodeImpl* Intern(Ptr<IXMLDOMNode> node, std::vector<long> path) {
    auto& slot = nodes[path];
    if (!slot) {
      slot = std::make_unique<XmlNodeImpl>();
      node->get_nodeType(&slot->type);
      slot->dom = std::move(node);
      slot->doc = this;
      slot->path = std::move(path);
    }
    return slot.get();
  }
  XmlNodeImpl* Intern(Ptr<IXMLDOMNode> node);
  // Forgets the handles below `node` once its children are replaced.
  void ForgetBelow(const XmlNodeImpl* node) {
    auto it = nodes.upper_bound(node->path);
    while (it != nodes.end() && it->first.size() > node->path.size() &&
           std::equal(node->path.begin(), node->path.end(), it->first.begin())) {
      it = nodes.erase(it);
    }
  }
};

struct XmlSchemaImpl {
  Ptr<IXMLDOMSchemaCollection> cache;
};

namespace {

constexpr long kLoadError = 1549;  // the code a document that cannot be read reports
// The parser's own code for a character that is not allowed where it stands.
constexpr long kInvalidCharacter = static_cast<long>(0xC00CE508);

std::u16string Trimmed(std::u16string text) {
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
    text.pop_back();
  }
  return text;
}

// Whether xml:space="preserve" holds at `element` (the nearest xml:space decides).
bool PreservesSpace(Ptr<IXMLDOMNode> element) {
  while (element && TypeOf(element) == NODE_ELEMENT) {
    Ptr<IXMLDOMElement> e = element.As<IXMLDOMElement>(IID_IXMLDOMElement);
    Variant space;
    if (e && e->getAttribute(Bstr(u"xml:space").get(), space.get()) == S_OK) {
      return space.Text() == u"preserve";
    }
    Ptr<IXMLDOMNode> parent;
    element->get_parentNode(parent.Out());
    element = parent;
  }
  return false;
}

// The parser's side of the blank-text rule. The document is loaded with white space kept so
// that this rule, not the parser's, decides.
struct BlankTextTree {
  static Ptr<IXMLDOMNode> First(const Ptr<IXMLDOMNode>& node) { return msxml::First(node); }
  static Ptr<IXMLDOMNode> Next(const Ptr<IXMLDOMNode>& node) { return msxml::Next(node); }
  static bool IsElement(const Ptr<IXMLDOMNode>& node) { return TypeOf(node) == NODE_ELEMENT; }
  static bool IsBlankText(const Ptr<IXMLDOMNode>& node) {
    return TypeOf(node) == NODE_TEXT && xml_backend::IsBlankText<char16_t>(ValueOf(node));
  }
  static bool Preserves(const Ptr<IXMLDOMNode>& element) { return PreservesSpace(element); }
  static void Remove(const Ptr<IXMLDOMNode>& parent, const Ptr<IXMLDOMNode>& child) {
    Ptr<IXMLDOMNode> removed;
    parent->removeChild(child.get(), removed.Out());
  }
};

// Appends the text of every text and CDATA node below `node`, in document order.
void AppendText(const Ptr<IXMLDOMNode>& node, std::u16string* out) {
  std::vector<Ptr<IXMLDOMNode>> pending{node};
  while (!pending.empty()) {
    Ptr<IXMLDOMNode> current = pending.back();
    pending.pop_back();
    const DOMNodeType type = TypeOf(current);
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
      *out += ValueOf(current);
      continue;
    }
    if (type != NODE_ELEMENT && type != NODE_DOCUMENT && type != NODE_ENTITY_REFERENCE) continue;
    std::vector<Ptr<IXMLDOMNode>> children;
    for (Ptr<IXMLDOMNode> child = First(current); child; child = Next(child)) {
      children.push_back(child);
    }
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
}

}  // namespace

XmlNodeImpl* XmlDocumentImpl::Intern(Ptr<IXMLDOMNode> node) {
  if (TypeOf(node) == NODE_ATTRIBUTE) {
    attributes.push_back(std::make_unique<XmlNodeImpl>());
    XmlNodeImpl* handle = attributes.back().get();
    handle->dom = std::move(node);
    handle->doc = this;
    handle->type = NODE_ATTRIBUTE;
    return handle;
  }
  std::vector<long> path;
  Ptr<IXMLDOMNode> current = node;
  while (true) {
    Ptr<IXMLDOMNode> parent;
    if (current->get_parentNode(parent.Out()) != S_OK || !parent) break;
    long index = 0;
    Ptr<IXMLDOMNode> sibling;
    current->get_previousSibling(sibling.Out());
    while (sibling) {
      ++index;
      Ptr<IXMLDOMNode> before;
      sibling->get_previousSibling(before.Out());
      sibling = before;
    }
    path.push_back(index);
    current = parent;
  }
  std::reverse(path.begin(), path.end());
  return Intern(std::move(node), std::move(path));
}

// MSXML has no XPath variables: their values are bound into the query as literals.
xml_backend::XPathOutcome xml_backend::Evaluate(XmlNodeImpl* node, std::string_view xpath,
                                                const XPathVariables& variables) {
  const std::u16string query = BindVariables(Utf8ToUtf16(xpath), variables);
  Ptr<IXMLDOMNodeList> list;
  const HRESULT hr = node->dom->selectNodes(Bstr(query).get(), list.Out());
  XPathOutcome outcome;
  if (FAILED(hr) || !list) {
    outcome.code = hr;
    return outcome;
  }
  outcome.node_set = true;
  long length = 0;
  list->get_length(&length);
  outcome.nodes.reserve(static_cast<size_t>(length));
  for (long i = 0; i < length; ++i) {
    Ptr<IXMLDOMNode> item;
    if (list->get_item(i, item.Out()) == S_OK && item) {
      outcome.nodes.emplace_back(node->doc->Intern(std::move(item)));
    }
  }
  return outcome;
}

// ---- XmlNode ----

bool XmlNode::IsElement() const {
  return node_ != nullptr && node_->type == NODE_ELEMENT;
}

std::u16string XmlNode::Name() const {
  return node_ == nullptr ? std::u16string() : NameOf(node_->dom);
}

std::u16string XmlNode::ToXml() const {
  if (node_ == nullptr) return {};
  return Utf8ToUtf16(msxml::SerializeNode(node_->dom));
}

std::u16string XmlNode::Text() const {
  if (node_ == nullptr) return {};
  const DOMNodeType type = node_->type;
  if (type == NODE_ELEMENT || type == NODE_DOCUMENT || type == NODE_ENTITY_REFERENCE) {
    std::u16string text;
    AppendText(node_->dom, &text);
    return text;
  }
  return ValueOf(node_->dom);
}

void XmlNode::SetText(std::u16string_view text) {
  if (node_ == nullptr) throw MakeError(kErrObjectNotSet);
  if (!CanCarry(text)) {
    throw Error(kErrInvalidCall, u"The text holds a character that XML cannot carry");
  }
  switch (node_->type) {
    case NODE_ELEMENT: {
      Ptr<IXMLDOMText> fresh;
      if (!text.empty() && FAILED(node_->doc->dom->createTextNode(Bstr(text).get(), fresh.Out()))) {
        throw MakeError(kErrOutOfMemory);
      }
      for (Ptr<IXMLDOMNode> child = First(node_->dom); child; child = First(node_->dom)) {
        Ptr<IXMLDOMNode> removed;
        if (FAILED(node_->dom->removeChild(child.get(), removed.Out()))) break;
      }
      node_->doc->ForgetBelow(node_);
      Ptr<IXMLDOMNode> added;
      if (fresh) node_->dom->appendChild(fresh.get(), added.Out());
      return;
    }
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
    case NODE_PROCESSING_INSTRUCTION: {
      Variant value = Variant::String(text);
      node_->dom->put_nodeValue(*value.get());
      return;
    }
    default:
      throw MakeError(kErrNotSupported);
  }
}

std::optional<std::u16string> XmlNode::Attribute(std::u16string_view name) const {
  if (!IsElement()) return std::nullopt;
  Ptr<IXMLDOMElement> element = node_->dom.As<IXMLDOMElement>(IID_IXMLDOMElement);
  Ptr<IXMLDOMAttribute> attribute;
  if (!element || element->getAttributeNode(Bstr(name).get(), attribute.Out()) != S_OK ||
      !attribute) {
    return std::nullopt;
  }
  Variant value;
  attribute->get_value(value.get());
  return value.Text();
}

std::u16string XmlNode::NamespaceUri() const {
  if (node_ == nullptr || (node_->type != NODE_ELEMENT && node_->type != NODE_ATTRIBUTE)) return {};
  Bstr uri;
  node_->dom->get_namespaceURI(uri.Out());
  return uri.Text();
}

std::u16string XmlNode::LocalName() const {
  if (node_ == nullptr || (node_->type != NODE_ELEMENT && node_->type != NODE_ATTRIBUTE)) return {};
  Bstr name;
  node_->dom->get_baseName(name.Out());
  return name.Text();
}

bool XmlNode::IsElement(std::u16string_view namespace_uri, std::u16string_view local_name) const {
  return IsElement() && LocalName() == local_name && NamespaceUri() == namespace_uri;
}

bool XmlNode::IsText() const {
  return node_ != nullptr && (node_->type == NODE_TEXT || node_->type == NODE_CDATA_SECTION);
}

std::optional<std::u16string> XmlNode::AttributeNs(std::u16string_view namespace_uri,
                                                   std::u16string_view local_name) const {
  if (!IsElement()) return std::nullopt;
  Ptr<IXMLDOMNamedNodeMap> attributes;
  Ptr<IXMLDOMNode> attribute;
  if (node_->dom->get_attributes(attributes.Out()) != S_OK || !attributes ||
      attributes->getQualifiedItem(Bstr(local_name).get(), Bstr(namespace_uri).get(),
                                   attribute.Out()) != S_OK ||
      !attribute) {
    return std::nullopt;
  }
  // Only the value's text: an entity reference kept as such adds nothing.
  Ptr<IXMLDOMNode> child = First(attribute);
  if (!child) return ValueOf(attribute);  // a parser that shows no children for a value
  std::u16string value;
  for (; child; child = Next(child)) {
    const DOMNodeType type = TypeOf(child);
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) value += ValueOf(child);
  }
  return value;
}

XmlNode XmlNode::NextSibling() const {
  if (node_ == nullptr || node_->type == NODE_ATTRIBUTE || node_->path.empty()) return XmlNode();
  Ptr<IXMLDOMNode> next = Next(node_->dom);
  if (!next) return XmlNode();
  std::vector<long> path = node_->path;
  ++path.back();
  return XmlNode(node_->doc->Intern(std::move(next), std::move(path)));
}

XmlNode XmlNode::FirstChild() const {
  if (node_ == nullptr || node_->type == NODE_ATTRIBUTE) return XmlNode();
  Ptr<IXMLDOMNode> first = First(node_->dom);
  if (!first) return XmlNode();
  std::vector<long> path = node_->path;
  path.push_back(0);
  return XmlNode(node_->doc->Intern(std::move(first), std::move(path)));
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> out;
  if (node_ == nullptr || node_->type == NODE_ATTRIBUTE) return out;
  std::vector<long> path = node_->path;
  path.push_back(0);
  for (Ptr<IXMLDOMNode> child = First(node_->dom); child; child = Next(child), ++path.back()) {
    out.emplace_back(node_->doc->Intern(child, path));
  }
  return out;
}

XmlNode XmlNode::ChildElement(std::u16string_view name) const {
  for (const XmlNode& child : Children()) {
    if (child.IsElement() && child.Name() == name) return child;
  }
  return XmlNode();
}

XmlNode XmlNode::Parent() const {
  if (node_ == nullptr || node_->path.empty()) return XmlNode();
  std::vector<long> path(node_->path.begin(), node_->path.end() - 1);
  Ptr<IXMLDOMNode> parent;
  if (node_->dom->get_parentNode(parent.Out()) != S_OK || !parent) return XmlNode();
  return XmlNode(node_->doc->Intern(std::move(parent), std::move(path)));
}

namespace {

// A new document set up as the add-in reads documents: synchronous, XPath, white space kept
// for DropBlankText to judge, nothing external resolved, no validation while loading.
Ptr<IXMLDOMDocument2> NewDocument(bool for_schemas) {
  Ptr<IXMLDOMDocument2> dom =
      for_schemas
          ? com::CreateFirst<IXMLDOMDocument2>({L"Msxml2.DOMDocument.4.0"}, kIidDomDocument2)
          : com::CreateFirst<IXMLDOMDocument2>({L"Microsoft.XMLDOM", L"Msxml2.DOMDocument.4.0"},
                                               kIidDomDocument2);
  if (!dom) return dom;
  dom->put_async(VARIANT_FALSE);
  dom->put_preserveWhiteSpace(VARIANT_TRUE);
  dom->put_resolveExternals(VARIANT_FALSE);
  dom->put_validateOnParse(VARIANT_FALSE);
  Variant xpath = Variant::String(u"XPath");
  dom->setProperty(Bstr(u"SelectionLanguage").get(), *xpath.get());
  return dom;
}

// The parser's own code within its facility (a positive number, as the other backends'
// codes are), its reason, and its line.
XmlParseError ErrorOf(IXMLDOMParseError* parse_error, HRESULT fallback,
                      std::u16string_view otherwise) {
  XmlParseError error;
  Bstr reason;
  long code = 0;
  if (parse_error != nullptr) {
    parse_error->get_errorCode(&code);
    parse_error->get_reason(reason.Out());
    long line = 0;
    parse_error->get_line(&line);
    error.line = static_cast<int>(line);
    long column = 0;
    parse_error->get_linepos(&column);
    error.column = static_cast<int>(column);
  }
  if (code == 0) code = FAILED(fallback) ? fallback : E_FAIL;
  error.code = HRESULT_CODE(code) != 0 ? HRESULT_CODE(code) : HRESULT_CODE(E_FAIL);
  error.reason = Trimmed(reason.Text());
  if (error.reason.empty()) error.reason = otherwise;
  return error;
}

std::u16string NamespaceOf(IXMLDOMNode* node) {
  Bstr uri;
  node->get_namespaceURI(uri.Out());
  return uri.Text();
}

std::u16string WindowsPath(std::u16string_view path) {
  std::u16string out(path);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

std::u16string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message =
      text != nullptr ? Trimmed(std::u16string(reinterpret_cast<char16_t*>(text))) : u"";
  LocalFree(text);
  return message.empty() ? u"error " + ToText(static_cast<long long>(code)) : message;
}

// Checks what the schema cache would be given, so that a wrong file fails the same way
// whatever the installed parser accepts.
void CheckSchemaFile(std::u16string_view namespace_uri, std::u16string_view xsd_path) {
  XmlDocument xsd;
  if (!xsd.LoadFile(xsd_path)) throw xml_backend::SchemaInvalid(xsd_path, xsd.parse_error().reason);
  const XmlNode root = xsd.DocumentElement();
  if (!root.IsElement(u"http://www.w3.org/2001/XMLSchema", u"schema")) {
    SetLastSystemError(0);
    throw xml_backend::SchemaInvalid(xsd_path, u"its root is not an XML schema");
  }
  const std::u16string target = root.Attribute(u"targetNamespace").value_or(u"");
  if (target != namespace_uri) throw xml_backend::SchemaTargetDiffers(target, namespace_uri);
}

}  // namespace

// ---- XmlSchemaSet ----

void xml_backend::FreeSchema(XmlSchemaImpl* schema) {
  delete schema;
}

XmlSchemaImpl* xml_backend::CompileSchema(std::u16string_view namespace_uri,
                                          std::u16string_view xsd_path) {
  const std::u16string path = WindowsPath(xsd_path);
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const DWORD err = GetLastError();
    throw SchemaFileMissing(xsd_path, err != 0 ? static_cast<long>(err) : ERROR_FILE_NOT_FOUND);
  }
  CheckSchemaFile(namespace_uri, xsd_path);
  Ptr<IXMLDOMSchemaCollection> cache = com::CreateFirst<IXMLDOMSchemaCollection>(
      {L"Msxml2.XMLSchemaCache.4.0"}, kIidSchemaCollection);
  if (!cache) throw Error(kErrInvalidCall, u"The schema cache cannot be created");
  Variant location = Variant::String(path);
  const HRESULT hr = cache->add(Bstr(namespace_uri).get(), *location.get());
  if (FAILED(hr)) {
    SetLastSystemError(hr);
    throw Error(kErrInvalidCall, u"The schema " + std::u16string(xsd_path) + u" is not valid");
  }
  return new XmlSchemaImpl{std::move(cache)};
}

// ---- XmlDocument ----

void xml_backend::FreeDocument(XmlDocumentImpl* doc) {
  delete doc;
}

XmlDocument::XmlDocument() = default;

bool XmlDocument::LoadFile(std::u16string_view path, const XmlSchemaSet* schemas) {
  Reset(nullptr);
  error_ = XmlParseError();
  errno = 0;
  std::FILE* f = OpenPath(ToPath(path), "rb");
  std::string bytes;
  bool ok = f != nullptr;
  if (ok) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    if (std::ferror(f)) ok = false;
    std::fclose(f);
  }
  if (!ok) {
    const int err = errno != 0 ? errno : EIO;
    error_.code = kLoadError;
    error_.reason =
        u"Cannot read the file " + std::u16string(path) + u": " + Utf8ToUtf16(std::strerror(err));
    SetLastSystemError(err);
    return false;
  }
  return Parse(bytes, Utf16ToUtf8(path), schemas);
}

bool XmlDocument::LoadText(std::string_view bytes, const XmlSchemaSet* schemas) {
  Reset(nullptr);
  error_ = XmlParseError();
  return Parse(bytes, "memory.xml", schemas);
}

bool XmlDocument::Parse(std::string_view bytes, const std::string&, const XmlSchemaSet* schemas) {
  const auto fail = [this](XmlParseError error) {
    error_ = std::move(error);
    SetLastSystemError(error_.code);
    return false;
  };
  // The parser does not know every label of code page 936: it is handed GBK for them.
  GbkRelabelled relabelled = RelabelGbk(bytes);
  if (!relabelled.alias.empty()) bytes = relabelled.bytes;
  // The parser puts a substitute in place of bytes code page 936 lacks; they are an error.
  if (relabelled.gbk && !bytes.empty() &&
      MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                          nullptr, 0) == 0) {
    return fail({kInvalidCharacter, u"The document holds bytes that are not GBK text", 0});
  }
  Ptr<IXMLDOMDocument2> dom = NewDocument(schemas != nullptr);
  if (!dom)
    return fail({HRESULT_CODE(REGDB_E_CLASSNOTREG), u"The XML parser cannot be created", 0});
  Variant source = Variant::Bytes(bytes);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = dom->load(*source.get(), &loaded);
  Ptr<IXMLDOMElement> root;
  if (FAILED(hr) || loaded != VARIANT_TRUE || dom->get_documentElement(root.Out()) != S_OK ||
      !root) {
    Ptr<IXMLDOMParseError> parse_error;
    dom->get_parseError(parse_error.Out());
    return fail(ErrorOf(parse_error.get(), hr, u"The document is not well-formed"));
  }
  if (!keep_blank_text_) {
    BlankTextTree tree;
    xml_backend::DropBlankText(tree, dom.As<IXMLDOMNode>(IID_IXMLDOMNode));
  }
  if (schemas != nullptr) {
    const std::u16string ns = NamespaceOf(root.get());
    const XmlSchemaImpl* entry = schemas->Find(ns);
    if (entry == nullptr) return fail(xml_backend::NoSchemaFor(ns, HRESULT_CODE(E_FAIL)));
    Variant cache;
    cache.get()->vt = VT_DISPATCH;
    cache.get()->pdispVal = entry->cache.get();
    entry->cache->AddRef();
    Ptr<IXMLDOMParseError> parse_error;
    HRESULT valid = dom->putref_schemas(*cache.get());
    if (SUCCEEDED(valid)) valid = dom->validate(parse_error.Out());
    if (valid != S_OK) {
      return fail(
          ErrorOf(parse_error.get(), valid, u"The document is not valid against its schema"));
    }
  }
  auto* doc = new XmlDocumentImpl;
  doc->dom = std::move(dom);
  doc->encoding_label = std::move(relabelled.alias);
  Reset(doc);
  return true;
}

XmlNode XmlDocument::DocumentElement() const {
  if (doc_ == nullptr) return XmlNode();
  Ptr<IXMLDOMElement> root;
  if (doc_->dom->get_documentElement(root.Out()) != S_OK || !root) return XmlNode();
  return XmlNode(doc_->Intern(root.As<IXMLDOMNode>(IID_IXMLDOMNode)));
}

XmlNode XmlDocument::Root() const {
  if (doc_ == nullptr) return XmlNode();
  return XmlNode(doc_->Intern(doc_->dom.As<IXMLDOMNode>(IID_IXMLDOMNode), {}));
}

std::u16string XmlDocument::ToXml() const {
  if (doc_ == nullptr) return {};
  return Utf8ToUtf16(msxml::Serialize(doc_->dom.As<IXMLDOMNode>(IID_IXMLDOMNode), "UTF-8"));
}

void XmlDocument::SaveFile(std::u16string_view path) const {
  if (doc_ == nullptr) throw MakeError(kErrObjectNotSet);
  const auto fail = [&](long code, const std::u16string& why) {
    SetLastSystemError(code);
    return Error(kErrPathAccess, u"Cannot write " + std::u16string(path) + u": " + why);
  };
  const Ptr<IXMLDOMNode> document = doc_->dom.As<IXMLDOMNode>(IID_IXMLDOMNode);
  const std::string bytes =
      msxml::Serialize(document, doc_->encoding_label.empty() ? msxml::DeclaredEncoding(document)
                                                              : doc_->encoding_label);
  // Written beside the target first, so that a failure never leaves a half-written file.
  const std::u16string target = WindowsPath(path);
  const std::u16string temp = target + u".~" + ToText(GetCurrentProcessId()) + u"-" +
                              ToText(static_cast<long long>(GetTickCount()));
  errno = 0;
  std::FILE* out = OpenPath(ToPath(temp), "wb");
  if (out == nullptr) throw fail(errno, Utf8ToUtf16(std::strerror(errno)));
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fflush(out) == 0 && ok;
  const int write_errno = errno != 0 ? errno : EIO;
  ok = std::fclose(out) == 0 && ok;
  const auto* wide_temp = reinterpret_cast<const wchar_t*>(temp.c_str());
  if (!ok) {
    DeleteFileW(wide_temp);
    throw fail(write_errno, Utf8ToUtf16(std::strerror(write_errno)));
  }
  if (!MoveFileExW(wide_temp, reinterpret_cast<const wchar_t*>(target.c_str()),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileW(wide_temp);
    throw fail(static_cast<long>(code), SystemMessage(code));
  }
}

}  // namespace qnmuro
