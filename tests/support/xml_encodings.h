// The encodings an XML file from the OA system comes in, for tests that load control files and
// data sources: UTF-8 (declared or not), UTF-16 with a byte order mark, and GBK under each label
// the OA servers write for it (gb2312 among them, for text GB2312 proper cannot hold).
#ifndef QNMURO_TESTS_SUPPORT_XML_ENCODINGS_H_
#define QNMURO_TESTS_SUPPORT_XML_ENCODINGS_H_

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace qnmuro::test_util {

struct XmlEncodingCase {
  enum class Form { kUtf8, kUtf16Le, kUtf16Be, kGbk };
  const char* name;   // for the test listing
  const char* label;  // the declaration's encoding; nullptr: no declaration
  Form form;          // how the bytes are written
};

inline void PrintTo(const XmlEncodingCase& c, std::ostream* os) {
  *os << c.name;
}

inline std::vector<XmlEncodingCase> XmlEncodingCases() {
  using Form = XmlEncodingCase::Form;
  return {
      {"Utf8Declared", "UTF-8", Form::kUtf8},
      {"Utf8Undeclared", nullptr, Form::kUtf8},
      {"Utf16LittleEndianWithBom", "UTF-16", Form::kUtf16Le},
      {"Utf16BigEndianWithBom", "UTF-16", Form::kUtf16Be},
      {"Gbk", "GBK", Form::kGbk},
      {"GbkLabelledGb2312", "gb2312", Form::kGbk},
      {"GbkLabelledGB2312", "GB2312", Form::kGbk},
      {"GbkLabelledGb2312_80", "GB_2312-80", Form::kGbk},
      {"GbkLabelledCsGb2312", "csGB2312", Form::kGbk},
      {"GbkLabelledCp936", "CP936", Form::kGbk},
  };
}

// The file's bytes: the declaration (when the case has one) and `body`, in the case's form,
// UTF-16 with its byte order mark.
inline std::string EncodeXml(const XmlEncodingCase& c, std::u16string_view body) {
  std::u16string text;
  if (c.label != nullptr) {
    text = u"<?xml version=\"1.0\" encoding=\"" + Utf8ToUtf16(c.label) + u"\"?>\r\n";
  }
  text += body;
  std::string bytes;
  switch (c.form) {
    case XmlEncodingCase::Form::kUtf8:
      return Utf16ToUtf8(text);
    case XmlEncodingCase::Form::kGbk:
      return ToCodePage(text, "GBK");
    case XmlEncodingCase::Form::kUtf16Le:
    case XmlEncodingCase::Form::kUtf16Be: {
      const bool little = c.form == XmlEncodingCase::Form::kUtf16Le;
      text.insert(text.begin(), char16_t(0xFEFF));
      for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8);
        const char lo = static_cast<char>(u & 0xFF);
        bytes += little ? lo : hi;
        bytes += little ? hi : lo;
      }
      return bytes;
    }
  }
  return bytes;
}

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_XML_ENCODINGS_H_
