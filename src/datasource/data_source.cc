#include "datasource/data_source.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/error.h"
#include "common/velto_log.h"

namespace qnmuro {
namespace {

// Seven ideographic spaces indent the second line of an opinion entry.
constexpr char16_t kOpinionIndent[] = u"\u3000\u3000\u3000\u3000\u3000\u3000\u3000";
constexpr size_t kOpinionDateLength = 11;

XmlNode Required(XmlNode node) {
  if (!node) throw MakeError(kErrObjectNotSet);
  return node;
}

std::u16string Str(std::u16string_view s) {
  return std::u16string(s);
}

std::u16string FormatOpinions(XmlNode value) {
  std::u16string result;
  for (XmlNode entry : value.Children()) {
    if (!result.empty()) result += u'\r';
    const std::vector<XmlNode> parts = entry.Children();
    if (parts.size() < 3) throw MakeError(kErrObjectNotSet);
    result += parts[0].Text();
    result += u'\r';
    result += kOpinionIndent;
    result += parts[1].Text();
    result += u' ';
    result += parts[2].Text().substr(0, kOpinionDateLength);
  }
  return result;
}

}  // namespace

DataSource::DataSource(SharedState* log) : log_(log) {}

void DataSource::Fail(std::u16string_view context, const Error* error) {
  // A load that merely failed leaves no error pending: empty description, number 0.
  const Error none(0, u"", u"");
  last_report_ = ComposeErrorReport(u"", context, error != nullptr ? *error : none);
  WriteErrorLog(log_, last_report_, error);
}

bool DataSource::LoadXML(std::u16string_view FileName) {
  loaded_ = false;
  index_valid_ = false;
  by_name_.clear();
  by_desc_.clear();
  const std::u16string context = u"无法装载数据源：" + Str(FileName) + u"！";
  TrapFirstFailure(
      [&] {
        if (doc_.LoadFile(FileName)) {
          loaded_ = true;
        } else {
          Fail(context, nullptr);
        }
      },
      [&](const Error& error) { Fail(context, &error); });
  return loaded_;
}

bool DataSource::LoadItems(std::u16string_view FileName) {
  if (!LoadXML(FileName)) return false;
  bool any = false;
  IgnoreFailure([&] { any = static_cast<bool>(doc_.Root().SelectSingleNode("//items/item")); });
  if (any) return true;
  loaded_ = false;
  Fail(u"无法装载数据源：" + Str(FileName) + u"！", nullptr);
  return false;
}

void DataSource::BuildIndex() {
  by_name_.clear();
  by_desc_.clear();
  const XmlNode top = doc_.Root();
  std::unordered_map<XmlNode, size_t> order;
  const std::vector<XmlNode> items = top.SelectNodes("//items/item");
  order.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) order.emplace(items[i], i);
  // An item may carry several keys; a key may be shared. The first item in document order
  // wins, even when a nested item's key comes first in the text.
  auto add = [&](const char* path, std::unordered_map<std::u16string, XmlNode>& index) {
    index.reserve(items.size());
    for (XmlNode key : top.SelectNodes(path)) {
      const XmlNode item = key.Parent();
      const auto rank = order.find(item);
      if (rank == order.end()) continue;
      auto [slot, inserted] = index.try_emplace(key.Text(), item);
      if (!inserted && order[slot->second] > rank->second) slot->second = item;
    }
  };
  add("//items/item/name", by_name_);
  add("//items/item/desc", by_desc_);
  index_valid_ = true;
}

XmlNode DataSource::FindItem(Key kind, std::u16string_view key) {
  if (!loaded_) throw MakeError(kErrObjectNotSet);
  if (!index_valid_) BuildIndex();
  const auto& index = kind == Key::kName ? by_name_ : by_desc_;
  const auto found = index.find(Str(key));
  return found == index.end() ? XmlNode() : found->second;
}

std::vector<std::u16string> DataSource::ItemDescs() {
  std::vector<std::u16string> descs;
  if (!loaded_) return descs;
  if (!index_valid_) BuildIndex();
  for (const auto& entry : by_desc_) descs.push_back(entry.first);
  std::sort(descs.begin(), descs.end());
  return descs;
}

std::u16string DataSource::ItemGetDescByName(std::u16string_view Item_Name) {
  std::u16string result;
  TrapFirstFailure(
      [&] {
        const XmlNode item = FindItem(Key::kName, Item_Name);
        if (item) result = Required(item.ChildElement(u"desc")).Text();
      },
      [&](const Error& error) {
        result.clear();
        Fail(u"无法取得name=" + Str(Item_Name) + u"对应的desc" + u"！", &error);
      });
  return result;
}

std::u16string DataSource::ItemGetValueByName(std::u16string_view Item_Name) {
  std::u16string result;
  TrapFirstFailure(
      [&] {
        const XmlNode item = FindItem(Key::kName, Item_Name);
        if (item) result = Required(item.ChildElement(u"value")).Text();
      },
      [&](const Error& error) {
        result.clear();
        Fail(u"无法取得name=" + Str(Item_Name) + u"对应的value" + u"！", &error);
      });
  return result;
}

std::u16string DataSource::ItemGetValueByDesc(std::u16string_view Item_Desc) {
  std::u16string result;
  TrapFirstFailure(
      [&] {
        const XmlNode item = FindItem(Key::kDesc, Item_Desc);
        if (!item) return;
        const XmlNode value = Required(item.ChildElement(u"value"));
        if (Required(value.FirstChild()).Name() == u"opinion") {
          result = FormatOpinions(value);
        } else {
          result = value.Text();
        }
      },
      [&](const Error& error) {
        result.clear();
        Fail(u"无法取得desc=" + Str(Item_Desc) + u"对应的value" + u"！", &error);
      });
  return result;
}

std::u16string DataSource::SetValue(Key kind, std::u16string_view key, std::u16string_view value,
                                    std::u16string context) {
  TrapFirstFailure(
      [&] {
        const XmlNode item = FindItem(kind, key);
        if (!item) return;
        XmlNode target = Required(item.ChildElement(u"value"));
        bool had_elements = false;
        for (XmlNode child : target.Children()) had_elements = had_elements || child.IsElement();
        target.SetText(value);
        // Removed elements may have been items or keys themselves.
        if (had_elements) index_valid_ = false;
      },
      [&](const Error& error) { Fail(context, &error); });
  return std::u16string();
}

std::u16string DataSource::ItemSetValueByName(std::u16string_view Item_Name,
                                              std::u16string_view Item_Value) {
  return SetValue(Key::kName, Item_Name, Item_Value,
                  u"无法设置name=" + Str(Item_Name) + u"对应的value" + u"！");
}

std::u16string DataSource::ItemSetValueByDesc(std::u16string_view Item_Desc,
                                              std::u16string_view Item_Value) {
  return SetValue(Key::kDesc, Item_Desc, Item_Value,
                  u"无法设置desc=" + Str(Item_Desc) + u"对应的value" + u"！");
}

std::u16string DataSource::ItemGetExtendValueByName(std::u16string_view Item_Name,
                                                    std::u16string_view Extend_Name) {
  std::u16string result;
  TrapFirstFailure(
      [&] {
        const XmlNode item = FindItem(Key::kName, Item_Name);
        if (!item) return;
        // The parameter name is bound as a value, never pasted into the query.
        const XmlNode parameter =
            item.SelectSingleNode("extend/parameter[name=$key]", {{"key", Str(Extend_Name)}});
        if (parameter) result = Required(parameter.ChildElement(u"value")).Text();
      },
      [&](const Error& error) {
        result.clear();
        Fail(u"无法取得name=" + Str(Item_Name) + u"extend name=" + Str(Extend_Name) +
                 u"对应的extend value" + u"！",
             &error);
      });
  return result;
}

bool DataSource::ItemIsExtendExist(std::u16string_view Item_Name) {
  bool exists = false;
  IgnoreFailure([&] {
    const XmlNode item = FindItem(Key::kName, Item_Name);
    if (item) exists = !item.SelectNodes("extend/parameter").empty();
  });
  return exists;
}

void DataSource::Save(std::u16string_view FilePath) {
  if (!loaded_) throw MakeError(kErrObjectNotSet);
  doc_.SaveFile(FilePath);
}

bool DataSource::HasItemWithName(std::u16string_view Item_Name) {
  bool found = false;
  IgnoreFailure([&] { found = static_cast<bool>(FindItem(Key::kName, Item_Name)); });
  return found;
}

bool DataSource::HasItemWithDesc(std::u16string_view Item_Desc) {
  bool found = false;
  IgnoreFailure([&] { found = static_cast<bool>(FindItem(Key::kDesc, Item_Desc)); });
  return found;
}

}  // namespace qnmuro
