// The XML backend's writer: documents as text in an encoding of the caller's choice.
#include <string>

#include "base/text.h"
#include "platform/msxml_dom_win.h"
#include "platform/xml_text.h"

namespace qnmuro::msxml {
namespace {

// Writes markup and escaped character data in the target encoding: a character the encoding
// lacks becomes a character reference, and CR a reference too, so that it survives a reload.
class Writer {
 public:
  // `encoding` is the label the declaration names; its aliases of code page 936 write GBK,
  // and UTF-16 writes little-endian code units (the byte order mark is the caller's).
  explicit Writer(const std::string& encoding)
      : encoding_(IsGbkAlias(encoding) ? std::string("GBK") : encoding),
        utf16_(EqualsIgnoreCase(Utf8ToUtf16(encoding), u"UTF-16")) {}

  void Markup(std::u16string_view text) { Encode(text, false); }
  // Character data that is escaped already.
  void Reference(std::u16string_view text) { Encode(text, true); }
  void Escaped(std::u16string_view text, bool in_attribute) {
    std::u16string out;
    for (char16_t c : text) {
      switch (c) {
        case u'&':
          out += u"&amp;";
          break;
        case u'<':
          out += u"&lt;";
          break;
        case u'>':
          out += u"&gt;";
          break;
        case u'\r':
          out += u"&#13;";
          break;
        case u'"':
          out += in_attribute ? u"&quot;" : u"\"";
          break;
        case u'\t':
          out += in_attribute ? u"&#9;" : u"\t";
          break;
        case u'\n':
          out += in_attribute ? u"&#10;" : u"\n";
          break;
        default:
          out.push_back(c);
      }
    }
    Encode(out, true);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  void Encode(std::u16string_view text, bool references) {
    if (utf16_) {  // every character has its code units: nothing is lost
      for (char16_t c : text) {
        bytes_.push_back(static_cast<char>(c & 0xFF));
        bytes_.push_back(static_cast<char>(c >> 8));
      }
      return;
    }
    const std::string converted = ToCodePage(text, encoding_);
    if (!references || converted.find('?') == std::string::npos) {
      bytes_ += converted;
      return;
    }
    for (size_t i = 0; i < text.size(); ++i) {  // only text with a lost character goes slowly
      size_t length = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) ? 2 : 1;
      const std::u16string_view one = text.substr(i, length);
      const std::string bytes = ToCodePage(one, encoding_);
      if (bytes == "?" && one != u"?") {
        const char32_t cp =
            length == 2 ? 0x10000 + ((one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
        bytes_ += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
      } else {
        bytes_ += bytes;
      }
      i += length - 1;
    }
  }

  std::string encoding_;
  bool utf16_;
  std::string bytes_;
};

void WriteNode(const Ptr<IXMLDOMNode>& node, Writer* out);

void WriteElement(const Ptr<IXMLDOMNode>& node, Writer* out) {
  const std::u16string name = NameOf(node);
  out->Markup(u"<" + name);
  Ptr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (node->get_attributes(attributes.Out()) == S_OK && attributes) attributes->get_length(&count);
  for (long i = 0; i < count; ++i) {
    Ptr<IXMLDOMNode> attribute;
    if (attributes->get_item(i, attribute.Out()) != S_OK || !attribute) continue;
    out->Markup(u" " + NameOf(attribute) + u"=\"");
    out->Escaped(ValueOf(attribute), true);
    out->Markup(u"\"");
  }
  Ptr<IXMLDOMNode> child = First(node);
  if (!child) {
    out->Markup(u"/>");
    return;
  }
  out->Markup(u">");
  for (; child; child = Next(child)) WriteNode(child, out);
  out->Markup(u"</" + name + u">");
}

void WriteNode(const Ptr<IXMLDOMNode>& node, Writer* out) {
  switch (TypeOf(node)) {
    case NODE_ELEMENT:
      return WriteElement(node, out);
    case NODE_TEXT: {
      // A parser may hand out a CR of the text as LF while its own markup of the node keeps
      // it as a reference: that markup is then the faithful form.
      const std::u16string value = ValueOf(node);
      Bstr xml;
      if (value.find(u'\r') == std::u16string::npos && node->get_xml(xml.Out()) == S_OK &&
          (xml.Text().find(u"&#13;") != std::u16string::npos ||
           xml.Text().find(u"&#xD;") != std::u16string::npos)) {
        return out->Reference(xml.Text());
      }
      return out->Escaped(value, false);
    }
    case NODE_CDATA_SECTION:
      return out->Markup(u"<![CDATA[" + ValueOf(node) + u"]]>");
    case NODE_COMMENT:
      return out->Markup(u"<!--" + ValueOf(node) + u"-->");
    case NODE_PROCESSING_INSTRUCTION:
      if (NameOf(node) == u"xml") return;  // the writer's own declaration stands first
      return out->Markup(u"<?" + NameOf(node) + u" " + ValueOf(node) + u"?>");
    case NODE_ENTITY_REFERENCE:
      return out->Markup(u"&" + NameOf(node) + u";");
    default: {  // a document type keeps its own text
      Bstr xml;
      node->get_xml(xml.Out());
      return out->Markup(xml.Text());
    }
  }
}

}  // namespace

std::string DeclaredEncoding(const Ptr<IXMLDOMNode>& document) {
  const Ptr<IXMLDOMNode> first = First(document);
  if (!first || TypeOf(first) != NODE_PROCESSING_INSTRUCTION || NameOf(first) != u"xml") {
    return "UTF-8";
  }
  const std::u16string declaration = ValueOf(first);
  const size_t at = declaration.find(u"encoding");
  const size_t open = declaration.find_first_of(u"\"'", at);
  if (at == std::u16string::npos || open == std::u16string::npos) return "UTF-8";
  const size_t close = declaration.find(declaration[open], open + 1);
  if (close == std::u16string::npos) return "UTF-8";
  return Utf16ToUtf8(declaration.substr(open + 1, close - open - 1));
}

std::string SerializeNode(const Ptr<IXMLDOMNode>& node) {
  Writer out("UTF-8");
  WriteNode(node, &out);
  return out.bytes();
}

std::string Serialize(const Ptr<IXMLDOMNode>& document, const std::string& encoding) {
  Writer out(encoding);
  if (EqualsIgnoreCase(Utf8ToUtf16(encoding), u"UTF-16")) out.Markup(u"\uFEFF");
  out.Markup(u"<?xml version=\"1.0\" encoding=\"" + Utf8ToUtf16(encoding) + u"\"?>\n");
  for (Ptr<IXMLDOMNode> child = First(document); child; child = Next(child)) {
    if (TypeOf(child) == NODE_PROCESSING_INSTRUCTION && NameOf(child) == u"xml") continue;
    WriteNode(child, &out);
    out.Markup(u"\n");
  }
  return out.bytes();
}

}  // namespace qnmuro::msxml
