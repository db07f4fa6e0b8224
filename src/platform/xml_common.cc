// What every XML backend does the same way: the schema set, the XPath front and the document's
// ownership of its tree.
#include <string>
#include <system_error>
#include <utility>

#include "base/text.h"
#include "platform/file_io.h"
#include "platform/xml.h"
#include "platform/xml_backend.h"

namespace qnmuro {
namespace xml_backend {
namespace {

// An XPath string literal of `value`; concat() when it holds both kinds of quote.
std::u16string Literal(std::u16string_view value) {
  if (value.find(u'\'') == std::u16string_view::npos) return u"'" + std::u16string(value) + u"'";
  if (value.find(u'"') == std::u16string_view::npos) return u"\"" + std::u16string(value) + u"\"";
  std::u16string out = u"concat(''";
  size_t start = 0;
  while (start <= value.size()) {
    const size_t quote = value.find(u'\'', start);
    const size_t end = quote == std::u16string_view::npos ? value.size() : quote;
    out += u",'" + std::u16string(value.substr(start, end - start)) + u"'";
    if (quote == std::u16string_view::npos) break;
    out += u",\"'\"";
    start = quote + 1;
  }
  return out + u")";
}

bool IsNameChar(char16_t c, bool first) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' ||
         (!first && ((c >= u'0' && c <= u'9') || c == u'-' || c == u'.'));
}

std::vector<XmlNode> Select(XmlNodeImpl* node, std::string_view xpath,
                            const XPathVariables& variables) {
  if (node == nullptr) throw MakeError(kErrObjectNotSet);
  XPathOutcome outcome = Evaluate(node, xpath, variables);
  if (!outcome.node_set) {
    SetLastSystemError(outcome.code);
    const std::u16string why =
        outcome.reason.empty() ? u"the expression does not select nodes" : outcome.reason;
    throw Error(kErrInvalidCall, u"XPath \"" + Utf8ToUtf16(xpath) + u"\": " + why);
  }
  return std::move(outcome.nodes);
}

}  // namespace

Error SchemaFileMissing(std::u16string_view xsd_path, long code) {
  SetLastSystemError(code);
  return Error(kErrFileNotFound, u"Cannot read the schema file " + std::u16string(xsd_path));
}

Error SchemaInvalid(std::u16string_view xsd_path, std::u16string_view reason) {
  return Error(kErrInvalidCall, u"The schema " + std::u16string(xsd_path) + u" is not valid: " +
                                    std::u16string(reason));
}

Error SchemaTargetDiffers(std::u16string_view target, std::u16string_view namespace_uri) {
  SetLastSystemError(0);
  return Error(kErrInvalidCall, u"The schema's target namespace \"" + std::u16string(target) +
                                    u"\" differs from \"" + std::u16string(namespace_uri) + u"\"");
}

XmlParseError NoSchemaFor(std::u16string_view namespace_uri, long code) {
  return {code,
          u"No schema is registered for the namespace \"" + std::u16string(namespace_uri) + u"\"",
          0};
}

std::u16string BindVariables(std::u16string_view xpath, const XPathVariables& variables) {
  std::u16string out;
  char16_t quote = 0;
  for (size_t i = 0; i < xpath.size(); ++i) {
    const char16_t c = xpath[i];
    if (quote != 0) {
      quote = c == quote ? 0 : quote;
    } else if (c == u'\'' || c == u'"') {
      quote = c;
    } else if (c == u'$') {
      size_t end = i + 1;
      while (end < xpath.size() && IsNameChar(xpath[end], end == i + 1)) ++end;
      const std::string name = Utf16ToUtf8(xpath.substr(i + 1, end - i - 1));
      const auto found = variables.find(name);
      if (found == variables.end()) {
        throw Error(kErrInvalidCall, u"XPath \"" + std::u16string(xpath) +
                                         u"\": undefined variable $" + Utf8ToUtf16(name));
      }
      out += Literal(found->second);
      i = end - 1;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace xml_backend

// ---- XmlNode ----

XmlNode XmlNode::SelectSingleNode(std::string_view xpath, const XPathVariables& variables) const {
  std::vector<XmlNode> nodes = xml_backend::Select(node_, xpath, variables);
  return nodes.empty() ? XmlNode() : nodes.front();
}

std::vector<XmlNode> XmlNode::SelectNodes(std::string_view xpath,
                                          const XPathVariables& variables) const {
  return xml_backend::Select(node_, xpath, variables);
}

// ---- XmlSchemaSet ----

XmlSchemaSet::XmlSchemaSet() = default;

XmlSchemaSet::~XmlSchemaSet() {
  for (auto& [namespace_uri, schema] : entries_) xml_backend::FreeSchema(schema);
}

void XmlSchemaSet::Add(std::u16string_view namespace_uri, std::u16string_view xsd_path) {
  XmlSchemaImpl* schema = xml_backend::CompileSchema(namespace_uri, xsd_path);
  for (auto& [registered, old] : entries_) {
    if (registered == namespace_uri) {
      xml_backend::FreeSchema(std::exchange(old, schema));
      return;
    }
  }
  try {
    entries_.emplace_back(std::u16string(namespace_uri), schema);
  } catch (...) {
    xml_backend::FreeSchema(schema);
    throw;
  }
}

const XmlSchemaImpl* XmlSchemaSet::Find(std::u16string_view namespace_uri) const {
  for (const auto& [registered, schema] : entries_) {
    if (registered == namespace_uri) return schema;
  }
  return nullptr;
}

// ---- XmlDocument ----

XmlDocument::~XmlDocument() {
  Reset(nullptr);
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : doc_(std::exchange(other.doc_, nullptr)),
      error_(std::move(other.error_)),
      keep_blank_text_(other.keep_blank_text_) {}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  if (this != &other) {
    Reset(std::exchange(other.doc_, nullptr));
    error_ = std::move(other.error_);
    keep_blank_text_ = other.keep_blank_text_;
  }
  return *this;
}

void XmlDocument::Reset(XmlDocumentImpl* doc) {
  if (doc_ != nullptr) xml_backend::FreeDocument(doc_);
  doc_ = doc;
}

std::u16string XmlFileTrouble(std::u16string_view path, const XmlParseError& error) {
  std::string bytes;
  int err = 0;
  switch (ReadRegularFile(ToPath(path), size_t{64} << 20, &bytes, &err)) {
    case FileReadStatus::kOk:
      break;
    case FileReadStatus::kMissing:
      return u"there is no such file";
    case FileReadStatus::kNotRegular:
      return u"it is not a file";
    case FileReadStatus::kTooLarge:
      return u"it is larger than 64 MB";
    case FileReadStatus::kFailed:
      return u"it cannot be read: " + Utf8ToUtf16(std::generic_category().message(err));
  }
  // Without a declared encoding the parser takes UTF-8; an OA side writing GBK must say so.
  const size_t declaration_end = bytes.rfind("?>", 200);
  const bool declared = bytes.compare(0, 5, "<?xml") == 0 && declaration_end != std::string::npos &&
                        bytes.substr(0, declaration_end).find("encoding") != std::string::npos;
  const bool utf16 = bytes.size() >= 2 && (static_cast<unsigned char>(bytes[0]) >= 0xFE);
  const std::u16string text = Utf8ToUtf16(bytes);
  const bool valid_utf8 = text.find(u'\uFFFD') == std::u16string::npos ||
                          bytes.find("\xEF\xBF\xBD") != std::string::npos;
  if (!declared && !utf16 && !valid_utf8) {
    return u"encoding: the file is not UTF-8 and its XML declaration names no encoding; write "
           u"<?xml version=\"1.0\" encoding=\"GBK\"?> (or the file's own encoding) as its first "
           u"line, or save it as UTF-8";
  }
  std::u16string where;
  if (error.line > 0) {
    where = u"line " + ToText(error.line);
    if (error.column > 0) where += u", column " + ToText(error.column);
    where += u": ";
  }
  return u"not well-formed XML: " + where + error.reason;
}

}  // namespace qnmuro
