// A .reg text held line by line, the document behind the file registry store. A change
// rewrites only the lines of the values and keys it touches; every other line (comments,
// blank lines, lines it cannot parse, values in a form it does not know) is kept byte for
// byte, so a hand-edited or damaged file never loses what the store did not understand.
//
// Syntax read and written (UTF-8, optional BOM, LF or CR LF; lines the store writes take the
// first line's ending):
//   Windows Registry Editor Version 5.00
//   [HKEY_LOCAL_MACHINE\SOFTWARE\zuzozer\web]
//   "CurrentUser"="zhang \"san\" C:\\x"      strings escape only \ and "
//   @="default value"                        the unnamed value
//   "n"=dword:0000000a  "b"=hex:01,02  "x"=hex(2):41,00,00,00   (hex lines may continue
//                                                                 with a trailing "\")
// A string holding control characters or unpaired surrogates is written as hex(1) (UTF-16LE
// with its terminating NUL), as regedit does. Lines of a section whose header cannot be
// parsed (an unknown root, "[-...]") are kept but belong to no key. When a key or value
// appears more than once, the last occurrence is the one read and changed.
#ifndef QNMURO_PLATFORM_REG_DOCUMENT_H_
#define QNMURO_PLATFORM_REG_DOCUMENT_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"

namespace qnmuro {

class RegDocument {
 public:
  static RegDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  bool KeyExists(uint32_t root, std::u16string_view path) const;
  // Adds a section for the key unless one exists.
  void CreateKey(uint32_t root, std::u16string_view path);
  // The value, or null when it (or its key) is missing.
  const RegistryValue* Find(uint32_t root, std::u16string_view path,
                            std::u16string_view name) const;
  // Writes a value; false when the key is missing.
  bool Set(uint32_t root, std::u16string_view path, std::u16string_view name,
           const RegistryValue& value);
  // Removes every line of the value; false when there is none.
  bool Remove(uint32_t root, std::u16string_view path, std::u16string_view name);
  // The values of a key, first occurrences' order, last occurrences' data.
  RegistryValueList List(uint32_t root, std::u16string_view path) const;

 private:
  struct Entry {
    // The physical lines, each with its own line end ("\n", "\r\n", or none for a last
    // line without one), so that a line the store leaves alone is written back byte for byte.
    std::vector<std::string> raw;
    bool is_value = false;
    std::u16string name;
    std::u16string folded_name;
    RegistryValue value;
    // A hex list whose last line still ends in "\" because the file ended there (a cut-off
    // write): the next line written after it would be read as its continuation.
    bool awaits_continuation = false;
  };
  struct Section {
    std::vector<std::string> header;  // empty for the lines before the first key; as `raw`
    bool valid = false;
    uint32_t root = 0;
    std::u16string folded_path;
    std::vector<Entry> entries;
  };

  // Indexes of the sections of one key, in file order.
  std::vector<size_t> SectionsOf(uint32_t root, std::u16string_view path) const;

  std::vector<Section> sections_{Section{}};
  std::string eol_ = "\n";  // for the lines the store writes: the file's first line end
};

// A key path split at "\" with empty parts dropped, joined again ("SOFTWARE\zuzozer\web").
std::u16string NormalizeRegistryPath(std::u16string_view path);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_REG_DOCUMENT_H_
