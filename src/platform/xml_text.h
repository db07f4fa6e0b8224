// What both XML backends decide the same way about text: which characters a document can
// carry, and which encoding labels mean code page 936.
#ifndef QNMURO_PLATFORM_XML_TEXT_H_
#define QNMURO_PLATFORM_XML_TEXT_H_

#include <array>
#include <string>
#include <string_view>

namespace qnmuro {

// The labels that mean code page 936 to the OA servers (and to the parser the add-in was
// written for), although GB2312 proper lacks characters such as 镕 that GBK has. Upper case;
// a label matches in any letter case.
inline constexpr std::array<const char*, 4> kGbkAliases = {"GB2312", "GB_2312-80", "CSGB2312",
                                                           "CP936"};

bool IsGbkAlias(std::string_view label);

// Whether every character of `text` may stand in an XML 1.0 document (surrogates paired).
bool CanCarry(std::u16string_view text);

// Where the encoding label of the XML declaration at the start of `bytes` (ASCII-compatible
// bytes, no byte order mark) stands: its offset and length; {npos, 0} when there is none.
std::pair<size_t, size_t> FindDeclaredLabel(std::string_view bytes);

// A document for a parser that does not know every label of code page 936: when its
// declaration names one of them, the bytes with "GBK" in its place.
struct GbkRelabelled {
  std::string bytes;  // the relabelled document; empty when `alias` is
  std::string alias;  // the label replaced; empty when none was
  bool gbk = false;   // whether the document declares code page 936 (an alias or GBK)
};
GbkRelabelled RelabelGbk(std::string_view bytes);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_XML_TEXT_H_
