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
#include "platform/xml_text.h"

namespace qnmuro {

struct XmlSchemaSet::Entry {
  std::string namespace_uri;
  xmlSchemaPtr schema = nullptr;
};

namespace {

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
}

void IgnoreXPathError(void* data, xmlErrorPtr err) {
  CollectFirstError(data, err);
}

bool IsBlankText(const xmlChar* s) {
  if (s == nullptr) return true;
  for (; *s != 0; ++s) {
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
  }
  return true;
}

// Drops white-space-only text nodes, as the add-in's documents are read everywhere.
// Iterative, so that depth never costs stack.
void DropBlankText(xmlNodePtr top) {
  xmlNodePtr node = top->children;
  while (node != nullptr && node != top) {
    xmlNodePtr next = nullptr;
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      next = node->children;
    } else {
      xmlNodePtr up = node;
      while (up != nullptr && up != top && up->next == nullptr) up = up->parent;
      next = (up == nullptr || up == top) ? nullptr : up->next;
    }
    if (node->type == XML_TEXT_NODE && IsBlankText(node->content) &&
        xmlNodeGetSpacePreserve(node->parent) != 1) {
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    }
    node = next;
  }
}

struct XPathContextFree {
  void operator()(xmlXPathContextPtr p) const { xmlXPathFreeContext(p); }
};
struct XPathObjectFree {
  void operator()(xmlXPathObjectPtr p) const { xmlXPathFreeObject(p); }
};

std::vector<XmlNode> Evaluate(xmlNodePtr node, std::string_view xpath,
                              const XPathVariables& variables) {
  if (node == nullptr) throw MakeError(kErrObjectNotSet);
  InitLibxml();
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
  if (!result || result->type != XPATH_NODESET) {
    SetLastSystemError(error.code);
    std::u16string why =
        error.reason.empty() ? u"the expression does not select nodes" : error.reason;
    throw Error(kErrInvalidCall, u"XPath \"" + Utf8ToUtf16(expr) + u"\": " + why);
  }
  std::vector<XmlNode> nodes;
  xmlNodeSetPtr set = result->nodesetval;
  if (set == nullptr) return nodes;
  xmlXPathNodeSetSort(set);
  nodes.reserve(set->nodeNr);
  for (int i = 0; i < set->nodeNr; ++i) {
    // Namespace nodes are not tree nodes; nothing the add-in asks for selects them.
    if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) nodes.emplace_back(set->nodeTab[i]);
  }
  return nodes;
}

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
  return node_ != nullptr && node_->type == XML_ELEMENT_NODE;
}

std::u16string XmlNode::Name() const {
  if (node_ == nullptr) return {};
  switch (node_->type) {
    case XML_ELEMENT_NODE:
      if (node_->ns != nullptr && node_->ns->prefix != nullptr) {
        return FromXml(node_->ns->prefix) + u":" + FromXml(node_->name);
      }
      return FromXml(node_->name);
    case XML_TEXT_NODE:
      return u"#text";
    case XML_CDATA_SECTION_NODE:
      return u"#cdata-section";
    case XML_COMMENT_NODE:
      return u"#comment";
    case XML_DOCUMENT_NODE:
      return u"#document";
    default:
      return FromXml(node_->name);
  }
}

std::u16string XmlNode::Text() const {
  if (node_ == nullptr) return {};
  // A text node's own content, without the copy xmlNodeGetContent makes.
  if (node_->type == XML_TEXT_NODE || node_->type == XML_CDATA_SECTION_NODE)
    return FromXml(node_->content);
  return TakeXml(xmlNodeGetContent(node_));
}

void XmlNode::SetText(std::u16string_view text) {
  if (node_ == nullptr) throw MakeError(kErrObjectNotSet);
  if (!CanCarry(text)) {
    throw Error(kErrInvalidCall, u"The text holds a character that XML cannot carry");
  }
  const std::string utf8 = Utf16ToUtf8(text);
  switch (node_->type) {
    case XML_ELEMENT_NODE: {
      xmlNodePtr fresh = nullptr;
      if (!utf8.empty()) {
        fresh = xmlNewDocTextLen(node_->doc, X(utf8), static_cast<int>(utf8.size()));
        if (fresh == nullptr) throw MakeError(kErrOutOfMemory);
      }
      while (node_->children != nullptr) {
        xmlNodePtr child = node_->children;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      }
      if (fresh != nullptr) xmlAddChild(node_, fresh);
      return;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContentLen(node_, X(utf8), static_cast<int>(utf8.size()));
      return;
    default:
      throw MakeError(kErrNotSupported);
  }
}

std::optional<std::u16string> XmlNode::Attribute(std::u16string_view name) const {
  if (node_ == nullptr || node_->type != XML_ELEMENT_NODE) return std::nullopt;
  const std::string n = Utf16ToUtf8(name);
  if (xmlHasNsProp(node_, X(n), nullptr) == nullptr) return std::nullopt;
  return TakeXml(xmlGetNoNsProp(node_, X(n)));
}

std::u16string XmlNode::NamespaceUri() const {
  if (node_ == nullptr || (node_->type != XML_ELEMENT_NODE && node_->type != XML_ATTRIBUTE_NODE))
    return {};
  return node_->ns != nullptr ? FromXml(node_->ns->href) : std::u16string();
}

std::u16string XmlNode::LocalName() const {
  if (node_ == nullptr || (node_->type != XML_ELEMENT_NODE && node_->type != XML_ATTRIBUTE_NODE))
    return {};
  return FromXml(node_->name);
}

bool XmlNode::IsElement(std::u16string_view namespace_uri, std::u16string_view local_name) const {
  // The short local name first: it tells most elements apart.
  return IsElement() && SameText(node_->name, local_name) &&
         SameText(node_->ns != nullptr ? node_->ns->href : nullptr, namespace_uri);
}

bool XmlNode::IsText() const {
  return node_ != nullptr &&
         (node_->type == XML_TEXT_NODE || node_->type == XML_CDATA_SECTION_NODE);
}

std::optional<std::u16string> XmlNode::AttributeNs(std::u16string_view namespace_uri,
                                                   std::u16string_view local_name) const {
  if (!IsElement()) return std::nullopt;
  // The document's own attributes only (not defaults a DTD declares), compared in place.
  for (const xmlAttr* a = node_->properties; a != nullptr; a = a->next) {
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
  if (node_ == nullptr || node_->type == XML_ATTRIBUTE_NODE) return XmlNode();
  return XmlNode(node_->next);
}

XmlNode XmlNode::FirstChild() const {
  if (node_ == nullptr || node_->type == XML_ENTITY_REF_NODE) return XmlNode();
  return XmlNode(node_->children);
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> out;
  for (XmlNode c = FirstChild(); c; c = XmlNode(c.node_->next)) out.push_back(c);
  return out;
}

XmlNode XmlNode::ChildElement(std::u16string_view name) const {
  const std::string n = Utf16ToUtf8(name);
  for (XmlNode c = FirstChild(); c; c = XmlNode(c.node_->next)) {
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
  xmlNodeDump(buffer, node_->doc, node_, 0, 0);
  std::u16string text = Utf8ToUtf16(std::string_view(
      reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer)));
  xmlBufferFree(buffer);
  return text;
}

XmlNode XmlNode::Parent() const {
  return XmlNode(node_ != nullptr ? node_->parent : nullptr);
}

XmlNode XmlNode::SelectSingleNode(std::string_view xpath, const XPathVariables& variables) const {
  std::vector<XmlNode> nodes = Evaluate(node_, xpath, variables);
  return nodes.empty() ? XmlNode() : nodes.front();
}

std::vector<XmlNode> XmlNode::SelectNodes(std::string_view xpath,
                                          const XPathVariables& variables) const {
  return Evaluate(node_, xpath, variables);
}

// ---- XmlSchemaSet ----

XmlSchemaSet::XmlSchemaSet() {
  InitLibxml();
}

XmlSchemaSet::~XmlSchemaSet() {
  for (Entry* e : entries_) {
    xmlSchemaFree(e->schema);
    delete e;
  }
}

void XmlSchemaSet::Add(std::u16string_view namespace_uri, std::u16string_view xsd_path) {
  InitLibxml();
  const std::string path = ToPath(xsd_path).string();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastSystemError(errno != 0 ? errno : ENOENT);
    throw Error(kErrFileNotFound, u"Cannot read the schema file " + std::u16string(xsd_path));
  }
  XmlParseError error;
  xmlSchemaParserCtxtPtr pctxt = xmlSchemaNewParserCtxt(path.c_str());
  if (pctxt == nullptr) throw MakeError(kErrOutOfMemory);
  xmlSchemaSetParserStructuredErrors(pctxt, CollectFirstError, &error);
  xmlSchemaPtr schema = xmlSchemaParse(pctxt);
  xmlSchemaFreeParserCtxt(pctxt);
  if (schema == nullptr) {
    SetLastSystemError(error.code);
    throw Error(kErrInvalidCall,
                u"The schema " + std::u16string(xsd_path) + u" is not valid: " + error.reason);
  }
  const std::u16string target = FromXml(schema->targetNamespace);
  if (target != namespace_uri) {
    xmlSchemaFree(schema);
    SetLastSystemError(0);
    throw Error(kErrInvalidCall, u"The schema's target namespace \"" + target +
                                     u"\" differs from \"" + std::u16string(namespace_uri) + u"\"");
  }
  const std::string ns = Utf16ToUtf8(namespace_uri);
  for (Entry* e : entries_) {
    if (e->namespace_uri == ns) {
      xmlSchemaFree(e->schema);
      e->schema = schema;
      return;
    }
  }
  entries_.push_back(new Entry{ns, schema});
}

// ---- XmlDocument ----

XmlDocument::XmlDocument() {
  InitLibxml();
}

XmlDocument::~XmlDocument() {
  if (doc_ != nullptr) xmlFreeDoc(doc_);
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : doc_(std::exchange(other.doc_, nullptr)),
      error_(std::move(other.error_)),
      keep_blank_text_(other.keep_blank_text_) {}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  if (this != &other) {
    if (doc_ != nullptr) xmlFreeDoc(doc_);
    doc_ = std::exchange(other.doc_, nullptr);
    error_ = std::move(other.error_);
    keep_blank_text_ = other.keep_blank_text_;
  }
  return *this;
}

bool XmlDocument::LoadFile(std::u16string_view path, const XmlSchemaSet* schemas) {
  if (doc_ != nullptr) xmlFreeDoc(doc_);
  doc_ = nullptr;
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
  if (doc_ != nullptr) xmlFreeDoc(doc_);
  doc_ = nullptr;
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
    if (doc != nullptr) xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    SetLastSystemError(error_.code);
    return false;
  }
  xmlFreeParserCtxt(ctxt);
  if (!keep_blank_text_) DropBlankText(reinterpret_cast<xmlNodePtr>(doc));

  if (schemas != nullptr) {
    xmlNodePtr root = xmlDocGetRootElement(doc);
    const std::string ns = (root->ns != nullptr && root->ns->href != nullptr)
                               ? reinterpret_cast<const char*>(root->ns->href)
                               : "";
    const XmlSchemaSet::Entry* entry = nullptr;
    for (const XmlSchemaSet::Entry* e : schemas->entries_) {
      if (e->namespace_uri == ns) entry = e;
    }
    int rc = 0;
    if (entry == nullptr) {
      error_.code = XML_SCHEMAV_CVC_ELT_1;
      error_.reason = u"No schema is registered for the namespace \"" + Utf8ToUtf16(ns) + u"\"";
      rc = 1;
    } else {
      xmlSchemaValidCtxtPtr vctxt = xmlSchemaNewValidCtxt(entry->schema);
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
  doc_ = doc;
  return true;
}

XmlNode XmlDocument::DocumentElement() const {
  return XmlNode(doc_ != nullptr ? xmlDocGetRootElement(doc_) : nullptr);
}

XmlNode XmlDocument::Root() const {
  return XmlNode(reinterpret_cast<xmlNodePtr>(doc_));
}

std::u16string XmlDocument::ToXml() const {
  if (doc_ == nullptr) return {};
  xmlChar* mem = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc_, &mem, &size, "UTF-8");
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
  const char* encoding =
      doc_->encoding != nullptr ? reinterpret_cast<const char*>(doc_->encoding) : "UTF-8";
  xmlSaveCtxtPtr save = xmlSaveToFd(fd, encoding, XML_SAVE_FORMAT);
  if (save == nullptr) save = xmlSaveToFd(fd, "UTF-8", XML_SAVE_FORMAT);
  bool ok = save != nullptr && xmlSaveDoc(save, doc_) >= 0;
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
