// DataSource: one data-source file (an XML list of named items whose values fill marked places
// of a document and receive edited values back).
//
// Items are the `item` children of every `items` element anywhere in the document. An item is
// found by the text of its `name` (or `desc`) child, compared exactly and case-sensitively;
// where several items share a key the first in document order is used, for reading and for
// writing alike. Keys are only ever compared as text, never placed into a query, so no key can
// change what is looked up. Lookups use an index built on first use after each load.
//
// Every item operation except Save traps its own failures: it writes one error line to the
// optional log (context text + description + "(" + number + ":" + system code + ")") and
// returns its empty result. An item that simply does not exist is no failure: empty result,
// nothing logged. Save does not trap. Used on one thread; the object is not shared.
#ifndef QNMURO_DATASOURCE_DATA_SOURCE_H_
#define QNMURO_DATASOURCE_DATA_SOURCE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xml.h"

namespace qnmuro {

class Error;
struct SharedState;

class DataSource {
 public:
  // `log` (may be null: nothing is logged) must outlive the object.
  explicit DataSource(SharedState* log = nullptr);
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  // Reads and parses the file, replacing any earlier document. False (and one log line
  // "无法装载数据源：" + path + "！(0:" + system code + ")") when it cannot be read or parsed;
  // every lookup then takes its failure path until a load succeeds.
  bool LoadXML(std::u16string_view FileName);
  // As LoadXML, and a document without any item (a misspelt or empty `items`) fails too, with
  // the same line: merging it would empty every place it fills.
  bool LoadItems(std::u16string_view FileName);

  // The text of the item's `desc`, or "".
  std::u16string ItemGetDescByName(std::u16string_view Item_Name);
  // The text of the item's `value`, or "".
  std::u16string ItemGetValueByName(std::u16string_view Item_Name);
  // Replaces the whole content of the item's `value` by the text; a missing item is left
  // alone. Always returns "".
  std::u16string ItemSetValueByName(std::u16string_view Item_Name, std::u16string_view Item_Value);
  // The item's value as text. A `value` whose first child is an `opinion` element is an
  // opinion list and is formatted: per entry (entries separated by one CR) the text of its
  // first child, CR, seven U+3000, the text of its second child, one blank, and the first 11
  // characters of the text of its third child. A `value` with no content at all is a failure.
  std::u16string ItemGetValueByDesc(std::u16string_view Item_Desc);
  // As ItemSetValueByName, found by description.
  std::u16string ItemSetValueByDesc(std::u16string_view Item_Desc, std::u16string_view Item_Value);
  // The `value` text of the item's first `extend/parameter` whose `name` is Extend_Name,
  // or "".
  std::u16string ItemGetExtendValueByName(std::u16string_view Item_Name,
                                          std::u16string_view Extend_Name);
  // True when the item has at least one `extend/parameter`; false on any failure, silently.
  bool ItemIsExtendExist(std::u16string_view Item_Name);

  // Writes the whole document to the path (atomically). Throws Error on failure (91 when
  // nothing is loaded, 75 when the file cannot be written).
  void Save(std::u16string_view FilePath);

  // Whether an item with this name (description) exists; false when nothing is loaded.
  bool HasItemWithName(std::u16string_view Item_Name);
  bool HasItemWithDesc(std::u16string_view Item_Desc);
  // The items' descriptions (each a bookmark the merge fills), sorted; none when nothing is
  // loaded.
  std::vector<std::u16string> ItemDescs();

  // The line the last failing operation wrote (also when there is no log); empty until then.
  const std::u16string& last_report() const { return last_report_; }

 private:
  enum class Key { kName, kDesc };

  // The first item with the key, or the null node. Throws Error 91 when nothing is loaded.
  XmlNode FindItem(Key kind, std::u16string_view key);
  void BuildIndex();
  std::u16string SetValue(Key kind, std::u16string_view key, std::u16string_view value,
                          std::u16string context);
  void Fail(std::u16string_view context, const Error* error);

  SharedState* log_;
  XmlDocument doc_;
  bool loaded_ = false;
  bool index_valid_ = false;
  std::unordered_map<std::u16string, XmlNode> by_name_;
  std::unordered_map<std::u16string, XmlNode> by_desc_;
  std::u16string last_report_;
};

}  // namespace qnmuro

#endif  // QNMURO_DATASOURCE_DATA_SOURCE_H_
