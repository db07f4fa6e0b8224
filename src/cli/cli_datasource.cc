// qnmuro datasource FILE OPERATION ...: the data-source operations for scripts and macros.
// Getters print the text on stdout; setters change the item and save the file. An item that does
// not exist prints one line on stderr and exits 1 (a setter then leaves the file alone); a
// malformed item or a file that cannot be loaded prints the failure line and exits 1. Nothing is
// written to comlog.txt.
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "cli/command.h"
#include "cli/json.h"
#include "datasource/data_source.h"
#include "platform/xml.h"

namespace qnmuro::cli {
namespace {

struct DataSourceArgs {
  std::string file;
  std::string key;
  std::string value;  // new value, or extension parameter name
};

enum class Op {
  kGetDesc,
  kGetValue,
  kGetValueByDesc,
  kSetValue,
  kSetValueByDesc,
  kGetExtend,
  kHasExtend
};

bool ByDesc(Op op) {
  return op == Op::kGetValueByDesc || op == Op::kSetValueByDesc;
}

bool ReportFailure(const DataSource& ds) {
  if (ds.last_report().empty()) return false;
  std::cerr << "qnmuro: " << U8(ds.last_report()) << "\n";
  ExitStatus() = 1;
  return true;
}

// A file that does not load: why, in words, then the line the add-in would log.
void ReportUnloadable(const DataSource& ds, const std::string& file) {
  XmlDocument doc;
  if (doc.LoadFile(U16(file))) return (void)ReportFailure(ds);
  std::cerr << "qnmuro: datasource: " << file << ": "
            << U8(XmlFileTrouble(U16(file), doc.parse_error()))
            << " (the add-in logs: " << U8(ds.last_report()) << ")\n";
  ExitStatus() = 1;
}

void Run(const DataSourceArgs& args, Op op) {
  DataSource ds;
  const std::u16string file = U16(args.file);
  if (!ds.LoadXML(file)) return ReportUnloadable(ds, args.file);
  const std::u16string key = U16(args.key);
  const bool exists = ByDesc(op) ? ds.HasItemWithDesc(key) : ds.HasItemWithName(key);
  if (!exists) {
    std::cerr << "qnmuro: datasource: no item with " << (ByDesc(op) ? "desc" : "name") << " \""
              << args.key << "\" in " << args.file << "\n";
    ExitStatus() = 1;
    return;
  }
  std::u16string out;
  switch (op) {
    case Op::kGetDesc:
      out = ds.ItemGetDescByName(key);
      break;
    case Op::kGetValue:
      out = ds.ItemGetValueByName(key);
      break;
    case Op::kGetValueByDesc:
      out = ds.ItemGetValueByDesc(key);
      break;
    case Op::kGetExtend:
      out = ds.ItemGetExtendValueByName(key, U16(args.value));
      break;
    case Op::kHasExtend:
      out = ds.ItemIsExtendExist(key) ? u"true" : u"false";
      break;
    case Op::kSetValue:
    case Op::kSetValueByDesc:
      if (op == Op::kSetValue) {
        ds.ItemSetValueByName(key, U16(args.value));
      } else {
        ds.ItemSetValueByDesc(key, U16(args.value));
      }
      if (ReportFailure(ds)) return;
      try {
        ds.Save(file);
      } catch (const Error& e) {
        std::cerr << "qnmuro: datasource: " << U8(e.description()) << "\n";
        ExitStatus() = 1;
      }
      return;
  }
  if (ReportFailure(ds)) return;
  std::cout << U8(out) << "\n";
}

struct DumpedItem {
  std::u16string name, desc, value, merged;
  std::vector<std::pair<std::u16string, std::u16string>> extend;
};

std::u16string ChildText(const XmlNode& node, const char* child) {
  const XmlNode found = node.SelectSingleNode(child);
  return found ? found.Text() : std::u16string();
}

// Every item in document order, with the text the merge puts into the bookmark named by its
// desc (an opinion list formatted).
std::vector<DumpedItem> Items(const std::u16string& file, DataSource& ds) {
  XmlDocument doc;
  std::vector<DumpedItem> items;
  if (!doc.LoadFile(file)) return items;
  for (const XmlNode& node : doc.Root().SelectNodes("//items/item")) {
    DumpedItem item{
        ChildText(node, "name"), ChildText(node, "desc"), ChildText(node, "value"), u"", {}};
    item.merged = ds.ItemGetValueByDesc(item.desc);
    for (const XmlNode& p : node.SelectNodes("extend/parameter")) {
      item.extend.emplace_back(ChildText(p, "name"), ChildText(p, "value"));
    }
    items.push_back(std::move(item));
  }
  return items;
}

void Dump(const DataSourceArgs& args, bool json) {
  DataSource ds;
  const std::u16string file = U16(args.file);
  if (!ds.LoadXML(file)) return ReportUnloadable(ds, args.file);
  const std::vector<DumpedItem> items = Items(file, ds);
  if (!json) {
    for (size_t i = 0; i < items.size(); ++i) {
      std::cout << "item[" << i << "]\n  name = " << U8(items[i].name)
                << "\n  desc = " << U8(items[i].desc) << "\n  value = " << U8(items[i].value)
                << "\n";
      if (items[i].merged != items[i].value) {
        std::cout << "  merged = " << U8(ReplaceAll(items[i].merged, u"\r", u"\\r")) << "\n";
      }
      for (const auto& [name, value] : items[i].extend) {
        std::cout << "  extend." << U8(name) << " = " << U8(value) << "\n";
      }
    }
    return;
  }
  std::string out = "{\"items\":[";
  for (size_t i = 0; i < items.size(); ++i) {
    const DumpedItem& item = items[i];
    out += (i == 0 ? "{" : ",{") + std::string("\"name\":") + JsonQuote(U8(item.name)) +
           ",\"desc\":" + JsonQuote(U8(item.desc)) + ",\"value\":" + JsonQuote(U8(item.value)) +
           ",\"merged\":" + JsonQuote(U8(item.merged)) + ",\"extend\":[";
    for (size_t k = 0; k < item.extend.size(); ++k) {
      out += (k == 0 ? "{" : ",{") + std::string("\"name\":") +
             JsonQuote(U8(item.extend[k].first)) +
             ",\"value\":" + JsonQuote(U8(item.extend[k].second)) + "}";
    }
    out += "]}";
  }
  std::cout << out << "]}\n";
}

}  // namespace

void AddDataSource(CLI::App& app) {
  CLI::App* cmd =
      app.add_subcommand("datasource", "Read and write the items of a data-source file");
  cmd->require_subcommand(1);
  auto args = std::make_shared<DataSourceArgs>();
  cmd->add_option("FILE", args->file, "The data-source file (.ds.xml)")->required();

  struct Spec {
    const char* name;
    const char* help;
    Op op;
    const char* second;  // second argument's name, or null
  };
  static const Spec kSpecs[] = {
      {"get-desc", "Print the desc of the item with this name", Op::kGetDesc, nullptr},
      {"get-value", "Print the value of the item with this name", Op::kGetValue, nullptr},
      {"get-value-by-desc", "Print the value (opinion lists formatted) of the item with this desc",
       Op::kGetValueByDesc, nullptr},
      {"set-value", "Set the value of the item with this name and save", Op::kSetValue, "VALUE"},
      {"set-value-by-desc", "Set the value of the item with this desc and save",
       Op::kSetValueByDesc, "VALUE"},
      {"get-extend", "Print an extension parameter of the item with this name", Op::kGetExtend,
       "PARAM"},
      {"has-extend", "Print true when the item with this name has extension parameters",
       Op::kHasExtend, nullptr},
  };
  for (const Spec& spec : kSpecs) {
    CLI::App* sub = cmd->add_subcommand(spec.name, spec.help);
    const bool by_desc = ByDesc(spec.op);
    sub->add_option(by_desc ? "DESC" : "NAME", args->key,
                    by_desc ? "The item's desc" : "The item's name")
        ->required();
    if (spec.second != nullptr) sub->add_option(spec.second, args->value)->required();
    const Op op = spec.op;
    sub->callback([args, op] { Run(*args, op); });
    SetHelpFooter(sub,
                  {std::string("qnmuro datasource notice.ds.xml ") + spec.name +
                   (by_desc ? " 标题" : " title") + (spec.second ? " TEXT" : "")},
                  {"QNMURO_CODEPAGE"});
  }
  auto json = std::make_shared<bool>(false);
  CLI::App* dump = cmd->add_subcommand(
      "dump", "Print every item: name, desc, value, merged text, extension parameters");
  dump->add_flag("--json", *json, "Print the items as one JSON object");
  dump->callback([args, json] { Dump(*args, *json); });
  SetHelpFooter(dump,
                {"qnmuro datasource notice.ds.xml dump",
                 "qnmuro datasource notice.ds.xml dump --json | jq '.items[].desc'"},
                {"QNMURO_CODEPAGE"});
  SetHelpFooter(cmd,
                {"qnmuro datasource notice.ds.xml dump",
                 "qnmuro datasource notice.ds.xml get-value-by-desc 标题",
                 "qnmuro datasource notice.ds.xml set-value title 新标题"},
                {"QNMURO_CODEPAGE"});
}

}  // namespace qnmuro::cli
