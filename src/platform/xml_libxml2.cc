// The add-in's XML documents over libxml2: a node handle is the library's node itself, a
// document its document and a schema its compiled schema.
#include "platform/xml.h"

#include <fcntl.h>
#include <libxml/encoding.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/schemasInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlschemas.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "platform/file_io.h"
#include "platform/xml_backend.h"
#include "platform/xml_text.h"

namespace qnmuro {

namespace {

// The header's opaque types are never defined here: their pointers are the library's own.
xmlNodePtr N(XmlNodeImpl* node) {
  return reinterpret_cast<xmlNodePtr>(node);
}
XmlNode Wrap(xmlNodePtr node) {
  return XmlNode(reinterpret_cast<XmlNodeImpl*>(node));
}
xmlDocPtr D(XmlDocumentImpl* doc) {
  return reinterpret_cast<xmlDocPtr>(doc);
}
xmlSchemaPtr S(const XmlSchemaImpl* schema) {
  return reinterpret_cast<xmlSchemaPtr>(const_cast<XmlSchemaImpl*>(schema));
}

const xmlChar* X(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}

std::u16string FromXml(const xmlChar* s) {
  return s == nullptr ? std::u16string() : Utf8ToUtf16(reinterpret_cast<const char*>(s));
}

// Takes a libxml2-allocated string, frees it and returns its text.
std::u16string TakeXml(xmlChar* s) {
  std::u16string text = FromXml(s);
  if (s != nullptr) xmlFree(s);
  return text;
}

std::u16string MessageOf(const char* message) {
  std::string m = message != nullptr ? message : "";
  while (!m.empty() && (m.back() == '\n' || m.back() == '\r')) m.pop_back();
  return Utf8ToUtf16(m);
}

// Never resolves an external entity or DTD: documents come from outside and must not make the
// add-in read local files or the network.
xmlParserInputPtr RefuseEntity(void*, const xmlChar*, const xmlChar*) {
  return nullptr;
}

// libxml2's generic error channel writes to standard error; the add-in reports through its
// own results and its event log instead.
void Silent(void*, const char*, ...) {}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    // Schema imports and includes may name http: locations; those are refused, local files
    // still load.
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    for (const char* label : kGbkAliases) xmlAddEncodingAlias("GBK", label);
    // The default for threads started from now on.
    xmlThrDefSetGenericErrorFunc(nullptr, Silent);
  });
  // The error channel is kept per thread: silence this one (once per thread is enough).
  thread_local bool silenced = false;
  if (!silenced) {
    xmlSetGenericErrorFunc(nullptr, Silent);
    silenced = true;
  }
}

// Keeps the first error (warnings skipped) that libxml2 reports through a structured handler.
void CollectFirstError(void* data, xmlErrorPtr err) {
  auto* out = static_cast<XmlParseError*>(data);
  if (err == nullptr || err->level < XML_ERR_ERROR || out->code != 0) return;
  out->code = err->code != 0 ? err->code : XML_ERR_INTERNAL_ERROR;
  out->reason = MessageOf(err->message);
  out->line = err->line;
  out->column = err->int2;
}

void IgnoreXPathError(void* data, xmlErrorPtr err) {
  CollectFirstError(data, err);
}

// The library's side of the blank-text rule.
struct BlankTextTree {
  static xmlNodePtr First(xmlNodePtr node) { return node->children; }
  static xmlNodePtr Next(xmlNodePtr node) { return node->next; }
  static bool IsElement(xmlNodePtr node) { return node->type == XML_ELEMENT_NODE; }
  static bool IsBlankText(xmlNodePtr node) {
    return node->type == XML_TEXT_NODE &&
           (node->content == nullptr || xml_backend::IsBlankText(std::string_view(
                                            reinterpret_cast<const char*>(node->content))));
  }
  static bool Preserves(xmlNodePtr element) { return xmlNodeGetSpacePreserve(element) == 1; }
  static void Remove(xmlNodePtr, xmlNodePtr child) {
    xmlUnlinkNode(child);
    xmlFreeNode(child);
  }
};

struct XPathContextFree {
  void operator()(xmlXPathContextPtr p) const { xmlXPathFreeContext(p); }
};
struct XPathObjectFree {
  void operator()(xmlXPathObjectPtr p) const { xmlXPathFreeObject(p); }
};

// Compares libxml2's UTF-8 text with `text`, converting only when either holds more than ASCII.
bool SameText(const xmlChar* s, std::u16string_view text) {
  if (s == nullptr) return text.empty();
  size_t i = 0;
  for (; s[i] != 0; ++i) {
    if (s[i] >= 0x80 || i >= text.size() || text[i] >= 0x80) return FromXml(s) == text;
    if (s[i] != text[i]) return false;
  }
  return i == text.size();
}

}  // namespace

// ---- XmlNode ----

bool XmlNode::IsElement() const {
  return node_ != nullptr && N(node_)->type == XML_ELEMENT_NODE;
}

std::u16string XmlNode::Name() const {
  if (node_ == nullptr) return {};
  switch (N(node_)->type) {
    case XML_ELEMENT_NODE:
      if (N(node_)->ns != nullptr && N(node_)->ns->prefix != nullptr) {
        return FromXml(N(node_)->ns->prefix) + u":" + FromXml(N(node_)->name);
      }
      return FromXml(N(node_)->name);
    case XML_TEXT_NODE:
      return u"#text";
    case XML_CDATA_SECTION_NODE:
      return u"#cdata-section";
    case XML_COMMENT_NODE:
      return u"#comment";
    case XML_DOCUMENT_NODE:
      return u"#document";
    default:
      return FromXml(N(node_)->name);
  }
}

std::u16string XmlNode::Text() const {
  if (node_ == nullptr) return {};
  // A text node's own content, without the copy xmlNodeGetContent makes.
  if (N(node_)->type == XML_TEXT_NODE || N(node_)->type == XML_CDATA_SECTION_NODE)
    return FromXml(N(node_)->content);
  return TakeXml(xmlNodeGetContent(N(node_)));
}

void XmlNode::SetText(std::u16string_view text) {
  if (node_ == nullptr) throw MakeError(kErrObjectNotSet);
  if (!CanCarry(text)) {
    throw Error(kErrInvalidCall, u"The text holds a character that XML cannot carry");
  }
  const std::string utf8 = Utf16ToUtf8(text);
  switch (N(node_)->type) {
    case XML_ELEMENT_NODE: {
      xmlNodePtr fresh = nullptr;
      if (!utf8.empty()) {
        fresh = xmlNewDocTextLen(N(node_)->doc, X(utf8), static_cast<int>(utf8.size()));
        if (fresh == nullptr) throw MakeError(kErrOutOfMemory);
      }
      while (N(node_)->children != nullptr) {
        xmlNodePtr child = N(node_)->children;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      }
      if (fresh != nullptr) xmlAddChild(N(node_), fresh);
      return;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContentLen(N(node_), X(utf8), static_cast<int>(utf8.size()));
      return;
    default:
      throw MakeError(kErrNotSupported);
  }
}

std::optional<std::u16string> XmlNode::Attribute(std::u16string_view name) const {
  if (node_ == nullptr || N(node_)->type != XML_ELEMENT_NODE) return std::nullopt;
  const std::string n = Utf16ToUtf8(name);
  if (xmlHasNsProp(N(node_), X(n), nullptr) == nullptr) return std::nullopt;
  return TakeXml(xmlGetNoNsProp(N(node_), X(n)));
}

std::u16string XmlNode::NamespaceUri() const {
  if (node_ == nullptr ||
      (N(node_)->type != XML_ELEMENT_NODE && N(node_)->type != XML_ATTRIBUTE_NODE))
    return {};
  return N(node_)->ns != nullptr ? FromXml(N(node_)->ns->href) : std::u16string();
}

std::u16string XmlNode::LocalName() const {
  if (node_ == nullptr ||
      (N(node_)->type != XML_ELEMENT_NODE && N(node_)->type != XML_ATTRIBUTE_NODE))
    return {};
  return FromXml(N(node_)->name);
}

bool XmlNode::IsElement(std::u16string_view namespace_uri, std::u16string_view local_name) const {
  // The short local name first: it tells most elements apart.
  return IsElement() && SameText(N(node_)->name, local_name) &&
         SameText(N(node_)->ns != nullptr ? N(node_)->ns->href : nullptr, namespace_uri);
}

bool XmlNode::IsText() const {
  return node_ != nullptr &&
         (N(node_)->type == XML_TEXT_NODE || N(node_)->type == XML_CDATA_SECTION_NODE);
}

std::optional<std::u16string> XmlNode::AttributeNs(std::u16string_view namespace_uri,
                                                   std::u16string_view local_name) const {
  if (!IsElement()) return std::nullopt;
  // The document's own attributes only (not defaults a DTD declares), compared in place.
  for (const xmlAttr* a = N(node_)->properties; a != nullptr; a = a->next) {
    if (!SameText(a->name, local_name) ||
        !SameText(a->ns != nullptr ? a->ns->href : nullptr, namespace_uri)) {
      continue;
    }
    std::string value;
    for (const xmlNode* c = a->children; c != nullptr; c = c->next) {
      if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content != nullptr)
        value += reinterpret_cast<const char*>(c->content);
    }
    return Utf8ToUtf16(value);
  }
  return std::nullopt;
}

XmlNode XmlNode::NextSibling() const {
  if (node_ == nullptr || N(node_)->type == XML_ATTRIBUTE_NODE) return XmlNode();
  return Wrap(N(node_)->next);
}

XmlNode XmlNode::FirstChild() const {
  if (node_ == nullptr || N(node_)->type == XML_ENTITY_REF_NODE) return XmlNode();
  return Wrap(N(node_)->children);
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> out;
  for (XmlNode c = FirstChild(); c; c = Wrap(N(c.impl())->next)) out.push_back(c);
  return out;
}

XmlNode XmlNode::ChildElement(std::u16string_view name) const {
  const std::string n = Utf16ToUtf8(name);
  for (XmlNode c = FirstChild(); c; c = Wrap(N(c.impl())->next)) {
    if (c.IsElement() && Utf16ToUtf8(c.Name()) == n) return c;
  }
  return XmlNode();
}

std::u16string XmlNode::ToXml() const {
  if (node_ == nullptr) return {};
  InitLibxml();
  xmlBufferPtr buffer = xmlBufferCreate();
  if (buffer == nullptr) throw MakeError(kErrOutOfMemory);
  // level 0, format 0: nothing is added around or between the nodes.
  xmlNodeDump(buffer, N(node_)->doc, N(node_), 0, 0);
  std::u16string text = Utf8ToUtf16(std::string_view(
      reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer)));
  xmlBufferFree(buffer);
  return text;
}

XmlNode XmlNode::Parent() const {
  return Wrap(node_ != nullptr ? N(node_)->parent : nullptr);
}

xml_backend::XPathOutcome xml_backend::Evaluate(XmlNodeImpl* context, std::string_view xpath,
                                                const XPathVariables& variables) {
  InitLibxml();
  const xmlNodePtr node = N(context);
  xmlDocPtr doc = node->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(node) : node->doc;
  std::unique_ptr<xmlXPathContext, XPathContextFree> ctx(xmlXPathNewContext(doc));
  if (!ctx) throw MakeError(kErrOutOfMemory);
  XmlParseError error;
  ctx->node = node;
  ctx->error = IgnoreXPathError;
  ctx->userData = &error;
  for (const auto& [name, value] : variables) {
    xmlXPathObjectPtr v = xmlXPathNewString(X(Utf16ToUtf8(value)));
    if (v == nullptr || xmlXPathRegisterVariable(ctx.get(), X(name), v) != 0) {
      if (v != nullptr) xmlXPathFreeObject(v);
      throw MakeError(kErrOutOfMemory);
    }
  }
  const std::string expr(xpath);
  std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
      xmlXPathEvalExpression(X(expr), ctx.get()));
  XPathOutcome outcome;
  if (!result || result->type != XPATH_NODESET) {
    outcome.code = error.code;
    outcome.reason = std::move(error.reason);
    return outcome;
  }
  outcome.node_set = true;
  xmlNodeSetPtr set = result->nodesetval;
  if (set == nullptr) return outcome;
  xmlXPathNodeSetSort(set);
  outcome.nodes.reserve(set->nodeNr);
  for (int i = 0; i < set->nodeNr; ++i) {
    // Namespace nodes are not tree nodes; nothing the add-in asks for selects them.
    if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) outcome.nodes.push_back(Wrap(set->nodeTab[i]));
  }
  return outcome;
}

// ---- XmlSchemaSet ----

void xml_backend::FreeSchema(XmlSchemaImpl* schema) {
  xmlSchemaFree(S(schema));
}

XmlSchemaImpl* xml_backend::CompileSchema(std::u16string_view namespace_uri,
                                          std::u16string_view xsd_path) {
  InitLibxml();
  const std::string path = ToPath(xsd_path).string();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw SchemaFileMissing(xsd_path, errno != 0 ? errno : ENOENT);
  }
  XmlParseError error;
  xmlSchemaParserCtxtPtr pctxt = xmlSchemaNewParserCtxt(path.c_str());
  if (pctxt == nullptr) throw MakeError(kErrOutOfMemory);
  xmlSchemaSetParserStructuredErrors(pctxt, CollectFirstError, &error);
  xmlSchemaPtr schema = xmlSchemaParse(pctxt);
  xmlSchemaFreeParserCtxt(pctxt);
  if (schema == nullptr) {
    SetLastSystemError(error.code);
    throw SchemaInvalid(xsd_path, error.reason);
  }
  const std::u16string target = FromXml(schema->targetNamespace);
  if (target != namespace_uri) {
    xmlSchemaFree(schema);
    throw SchemaTargetDiffers(target, namespace_uri);
  }
  return reinterpret_cast<XmlSchemaImpl*>(schema);
}

// ---- XmlDocument ----

void xml_backend::FreeDocument(XmlDocumentImpl* doc) {
  xmlFreeDoc(D(doc));
}

XmlDocument::XmlDocument() {
  InitLibxml();
}

bool XmlDocument::LoadFile(std::u16string_view path, const XmlSchemaSet* schemas) {
  Reset(nullptr);
  error_ = XmlParseError();
  const std::string native = ToPath(path).string();
  std::string bytes;
  int err = 0;
  // Only a regular file, read as one version of it: a pipe or a device put in its place must
  // not hold the reader up, and a file rewritten during the read must not come in pieces.
  switch (ReadRegularFile(native, static_cast<size_t>(INT_MAX), &bytes, &err)) {
    case FileReadStatus::kOk:
      break;
    case FileReadStatus::kMissing:
      err = ENOENT;
      break;
    case FileReadStatus::kNotRegular:
      err = EINVAL;
      break;
    case FileReadStatus::kTooLarge:
      err = EFBIG;
      break;
    case FileReadStatus::kFailed:
      if (err == 0) err = EIO;
      break;
  }
  if (err != 0) {
    error_.code = XML_IO_LOAD_ERROR;
    error_.reason =
        u"Cannot read the file " + std::u16string(path) + u": " + Utf8ToUtf16(std::strerror(err));
    SetLastSystemError(err);
    return false;
  }
  return Parse(bytes, native, schemas);
}

bool XmlDocument::LoadText(std::string_view bytes, const XmlSchemaSet* schemas) {
  Reset(nullptr);
  error_ = XmlParseError();
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    error_.code = XML_ERR_NO_MEMORY;
    error_.reason = u"The document is too large";
    SetLastSystemError(error_.code);
    return false;
  }
  return Parse(bytes, "memory.xml", schemas);
}

bool XmlDocument::Parse(std::string_view bytes, const std::string& url,
                        const XmlSchemaSet* schemas) {
  InitLibxml();  // this thread may not be the one that made the document
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) {
    error_.code = XML_ERR_NO_MEMORY;
    error_.reason = u"Out of memory";
    SetLastSystemError(error_.code);
    return false;
  }
  ctxt->sax->resolveEntity = RefuseEntity;
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), url.c_str(),
                                    nullptr, options);
  if (doc == nullptr || !ctxt->wellFormed || xmlDocGetRootElement(doc) == nullptr) {
    xmlErrorPtr err = xmlCtxtGetLastError(ctxt);
    error_.code = (err != nullptr && err->code != 0) ? err->code : XML_ERR_DOCUMENT_EMPTY;
    error_.reason = err != nullptr ? MessageOf(err->message) : u"The document is empty";
    error_.line = err != nullptr ? err->line : 0;
    error_.column = err != nullptr ? err->int2 : 0;
    if (doc != nullptr) xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    SetLastSystemError(error_.code);
    return false;
  }
  xmlFreeParserCtxt(ctxt);
  if (!keep_blank_text_) {
    BlankTextTree tree;
    xml_backend::DropBlankText(tree, reinterpret_cast<xmlNodePtr>(doc));
  }

  if (schemas != nullptr) {
    xmlNodePtr root = xmlDocGetRootElement(doc);
    const std::u16string ns = root->ns != nullptr ? FromXml(root->ns->href) : std::u16string();
    const XmlSchemaImpl* schema = schemas->Find(ns);
    int rc = 0;
    if (schema == nullptr) {
      error_ = xml_backend::NoSchemaFor(ns, XML_SCHEMAV_CVC_ELT_1);
      rc = 1;
    } else {
      xmlSchemaValidCtxtPtr vctxt = xmlSchemaNewValidCtxt(S(schema));
      if (vctxt == nullptr) {
        rc = -1;
      } else {
        xmlSchemaSetValidStructuredErrors(vctxt, CollectFirstError, &error_);
        rc = xmlSchemaValidateDoc(vctxt, doc);
        xmlSchemaFreeValidCtxt(vctxt);
      }
      if (rc != 0 && error_.code == 0) {
        error_.code = rc > 0 ? rc : XML_ERR_INTERNAL_ERROR;
        error_.reason = u"The document is not valid against its schema";
      }
    }
    if (rc != 0) {
      xmlFreeDoc(doc);
      SetLastSystemError(error_.code);
      return false;
    }
  }
  Reset(reinterpret_cast<XmlDocumentImpl*>(doc));
  return true;
}

XmlNode XmlDocument::DocumentElement() const {
  return Wrap(doc_ != nullptr ? xmlDocGetRootElement(D(doc_)) : nullptr);
}

XmlNode XmlDocument::Root() const {
  return Wrap(reinterpret_cast<xmlNodePtr>(D(doc_)));
}

std::u16string XmlDocument::ToXml() const {
  if (doc_ == nullptr) return {};
  InitLibxml();
  xmlChar* mem = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(D(doc_), &mem, &size, "UTF-8");
  std::u16string text = mem != nullptr
                            ? Utf8ToUtf16(std::string_view(reinterpret_cast<char*>(mem), size))
                            : std::u16string();
  if (mem != nullptr) xmlFree(mem);
  return text;
}

void XmlDocument::SaveFile(std::u16string_view path) const {
  if (doc_ == nullptr) throw MakeError(kErrObjectNotSet);
  InitLibxml();
  const std::string target = ToPath(path).string();
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  auto fail = [&](int err) {
    SetLastSystemError(err);
    return Error(kErrPathAccess,
                 u"Cannot write " + std::u16string(path) + u": " + Utf8ToUtf16(std::strerror(err)));
  };
  if (fd < 0) throw fail(errno);
  struct stat st;
  ::fchmod(fd, ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  const xmlDocPtr doc = D(doc_);
  const char* encoding =
      doc->encoding != nullptr ? reinterpret_cast<const char*>(doc->encoding) : "UTF-8";
  xmlSaveCtxtPtr save = xmlSaveToFd(fd, encoding, XML_SAVE_FORMAT);
  if (save == nullptr) save = xmlSaveToFd(fd, "UTF-8", XML_SAVE_FORMAT);
  bool ok = save != nullptr && xmlSaveDoc(save, doc) >= 0;
  if (save != nullptr && xmlSaveClose(save) < 0) ok = false;
  errno = 0;
  if (ok && ::fsync(fd) != 0) ok = false;
  const int write_errno = errno != 0 ? errno : EIO;
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    throw fail(write_errno);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw fail(err);
  }
}

}  // namespace qnmuro
