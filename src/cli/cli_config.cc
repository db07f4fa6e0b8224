// qnmuro config check FILE [--schema XSD --namespace URI] [--strict] [--json]: loads a control
// file the way document open does (validating it first when a schema is given) and prints the
// records it produced, vocabulary codes with their keyword. The command keeps its state in
// memory and writes no comlog.txt; a failed load prints the line the add-in would have logged
// on stderr with the reason in plain words and exits 1 (with --json also a JSON error object on
// stdout). What the add-in accepts but cannot be what the OA side meant (config/control_rules.h)
// is a warning on stderr, and with --strict a failure.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/command.h"
#include "cli/json.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "config/config.h"
#include "config/control_rules.h"
#include "config/vocabulary.h"

namespace qnmuro::cli {
namespace {

struct CheckArgs {
  std::string file;
  std::string schema;
  std::string namespace_uri;
  bool strict = false;
  bool json = false;
};

// Where the records go: the indented text form, or one JSON object.
class RecordOut {
 public:
  virtual ~RecordOut() = default;
  // A record; `index` -1 for one that is not in a list.
  virtual void Section(const std::string& name, long index) = 0;
  virtual void Field(const std::string& name, std::u16string_view value) = 0;
  virtual void Code(const std::string& name, long code, std::u16string_view keyword) = 0;
};

class TextOut : public RecordOut {
 public:
  void Section(const std::string& name, long index) override {
    std::cout << name << (index < 0 ? "" : "[" + std::to_string(index) + "]") << "\n";
  }
  void Field(const std::string& name, std::u16string_view value) override {
    std::cout << "  " << name << " = " << U8(value) << "\n";
  }
  void Code(const std::string& name, long code, std::u16string_view keyword) override {
    std::cout << "  " << name << " = " << code << " ("
              << (keyword.empty() ? "unknown" : U8(keyword)) << ")\n";
  }
};

// Lists become arrays; "name[k]" fields become arrays of their values.
class JsonOut : public RecordOut {
 public:
  void Section(const std::string& name, long index) override {
    sections_.push_back({name, index >= 0, {}});
  }
  void Field(const std::string& name, std::u16string_view value) override {
    Put(name, JsonQuote(U8(value)));
  }
  void Code(const std::string& name, long code, std::u16string_view keyword) override {
    Put(name, "{\"code\":" + std::to_string(code) +
                  ",\"name\":" + (keyword.empty() ? "null" : JsonQuote(U8(keyword))) + "}");
  }
  std::string Text(const std::vector<Finding>& findings) const {
    std::string out = "{";
    for (size_t i = 0; i < sections_.size(); ++i) {
      const bool first_of_list = i == 0 || sections_[i - 1].name != sections_[i].name;
      const bool last_of_list =
          i + 1 == sections_.size() || sections_[i + 1].name != sections_[i].name;
      if (first_of_list) {
        out += (i == 0 ? "" : ",") + JsonQuote(sections_[i].name) + ":";
        if (sections_[i].list) out += "[";
      } else {
        out += ",";
      }
      out += "{";
      for (size_t k = 0; k < sections_[i].fields.size(); ++k) {
        const auto& [key, value] = sections_[i].fields[k];
        out += (k == 0 ? "" : ",") + JsonQuote(key) + ":" + value;
      }
      out += "}";
      if (last_of_list && sections_[i].list) out += "]";
    }
    return out + ",\"findings\":" + FindingsJson(findings) + "}";
  }

 private:
  struct Record {
    std::string name;
    bool list;
    std::vector<std::pair<std::string, std::string>> fields;
  };
  void Put(const std::string& name, const std::string& value) {
    auto& fields = sections_.back().fields;
    const size_t bracket = name.find('[');
    if (bracket == std::string::npos) {
      fields.emplace_back(name, value);
      return;
    }
    const std::string key = name.substr(0, bracket);
    for (auto& [existing, array] : fields) {
      if (existing == key) {
        array.insert(array.size() - 1, "," + value);
        return;
      }
    }
    fields.emplace_back(key, "[" + value + "]");
  }
  std::vector<Record> sections_;
};

std::string At(const char* list, size_t i) {
  return std::string(list) + "[" + std::to_string(i) + "]";
}

void PutBinaries(RecordOut& out, const char* list, const std::vector<BinaryInfo>& binaries) {
  for (size_t i = 0; i < binaries.size(); ++i) {
    const BinaryInfo& b = binaries[i];
    out.Section(list, static_cast<long>(i));
    out.Code("type", b.type, BinaryTypeName(b.type));
    out.Field("fileName", b.fileName);
    out.Field("downloadUrl", b.downloadUrl);
    out.Field("title", b.title);
    out.Field("uploadUrl", b.uploadUrl);
    out.Code("valueType", b.valueType, ValueTypeName(b.valueType));
    out.Field("draftUrl", b.draftUrl);
  }
}

void PutWordNames(RecordOut& out, const char* list, const std::vector<WordNameInfo>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    const WordNameInfo& w = words[i];
    out.Section(list, static_cast<long>(i));
    out.Field("name", w.name);
    out.Field("unid", w.unid);
    for (size_t k = 0; k < w.templateName.size(); ++k) {
      out.Field(At("templateName", k), w.templateName[k]);
      out.Field(At("templateFile", k), k < w.templateFile.size() ? w.templateFile[k] : u"");
    }
  }
}

void PutDatabase(RecordOut& out, const std::string& name, const DatabaseInfo& db) {
  out.Field(name + ".fileName", db.fileName);
  out.Field(name + ".filePath", db.filePath);
  out.Field(name + ".title", db.title);
  out.Field(name + ".server.title", db.server.title);
  out.Field(name + ".server.name", db.server.name);
  out.Field(name + ".server.address", db.server.address);
}

void PutRecords(RecordOut& out, const ControlRecords& r) {
  const CommonInfo& c = r.commonInfo;
  out.Section("commonInfo", -1);
  out.Field("name", c.name);
  out.Field("dept", c.dept);
  out.Field("lastName", c.lastName);
  out.Field("fullName", c.fullName);
  out.Field("password", c.password);
  out.Field("rootUrl", c.rootUrl);
  out.Code("transferMethod", c.transferMethod, TransferMethodName(c.transferMethod));
  out.Field("clientLog", c.clientLog ? u"true" : u"false");
  PutBinaries(out, "binarys", r.binarys);
  PutBinaries(out, "binaryAssistants", r.binaryAssistants);
  PutWordNames(out, "wordNames", r.wordNames);
  PutWordNames(out, "sealWordNames", r.sealWordNames);
  const DocumentInfo& d = r.documentInfo;
  out.Section("documentInfo", -1);
  PutDatabase(out, "database", d.database);
  PutDatabase(out, "binaryDatabase", d.binaryDatabase);
  out.Field("unid", d.unid);
  out.Field("status", d.status);
  out.Code("action", d.action, ActionName(d.action));
  out.Field("button", d.button);
  for (size_t i = 0; i < r.extendParameters.size(); ++i) {
    out.Section("extendParameters", static_cast<long>(i));
    out.Field("name", r.extendParameters[i].name);
    out.Field("value", r.extendParameters[i].value);
  }
}

void Check(const CheckArgs& args, bool with_schema) {
  SharedState state;
  Context ctx;
  ctx.state = &state;
  Config config(ctx);
  const std::u16string file = U16(args.file);
  const bool ok = with_schema
                      ? config.InitWithSchemaCheck(file, U16(args.namespace_uri), U16(args.schema))
                      : config.Init(file);
  if (!ok) {
    if (args.json) {
      const std::u16string& where = config.last_error();
      std::cout << JsonObject()
                       .Raw("error", JsonObject()
                                         .Text("file", args.file)
                                         .Raw("element", !where.empty() && where[0] == u'/'
                                                             ? JsonQuote(U8(where))
                                                             : "null")
                                         .Text("reason", U8(config.reason()))
                                         .Text("logLine", U8(config.last_report()))
                                         .Done())
                       .Done()
                << "\n";
    }
    // What it means first, then the line the add-in would have logged.
    return Fail("config check: " + args.file + ": " + U8(config.reason()) +
                " (the add-in logs: " + U8(config.last_report()) + ")");
  }
  const std::vector<Finding> findings = CheckControlFile(file, state.records);
  if (args.json) {
    JsonOut out;
    PutRecords(out, state.records);
    std::cout << out.Text(findings) << "\n";
  } else {
    TextOut out;
    PutRecords(out, state.records);
  }
  PrintFindings("config check", findings, args.strict);
  if (args.strict && !findings.empty()) ExitStatus() = 1;
}

}  // namespace

void PrintFindings(const std::string& command, const std::vector<Finding>& findings, bool strict) {
  for (const Finding& f : findings) {
    const bool warning = !strict || f.severity == Finding::kWarning;
    std::cerr << "qnmuro: " << command << ": " << (warning ? "warning: " : "") << f.element << ": "
              << f.problem << "\n";
  }
}

std::string FindingsJson(const std::vector<Finding>& findings) {
  std::vector<std::string> items;
  for (const Finding& f : findings) {
    items.push_back(JsonObject()
                        .Text("severity", f.severity == Finding::kProblem ? "problem" : "warning")
                        .Text("element", f.element)
                        .Text("problem", f.problem)
                        .Done());
  }
  return JsonArray(items);
}

void AddConfig(CLI::App& app) {
  CLI::App* config = app.add_subcommand("config", "Work with document control files");
  config->require_subcommand(1);
  auto args = std::make_shared<CheckArgs>();
  CLI::App* check = config->add_subcommand(
      "check", "Load a control file as document open does and print its records");
  check->add_option("FILE", args->file, "The control file")->required();
  CLI::Option* schema =
      check->add_option("--schema", args->schema, "Validate against this XSD file first");
  CLI::Option* ns = check->add_option("--namespace", args->namespace_uri,
                                      "The schema's target namespace (default: none)");
  check->add_flag("--strict", args->strict,
                  "Fail (exit 1) on what the add-in accepts silently: unknown or repeated "
                  "elements, keywords or button captions, no usable upload address, a root that "
                  "is no URL, a plain password, templates or seals never offered");
  check->add_flag("--json", args->json, "Print the records as one JSON object");
  check->callback([args, schema, ns] {
    if (ns->count() > 0 && schema->count() == 0) Usage("config check: --namespace needs --schema");
    Check(*args, schema->count() > 0);
  });
  SetHelpFooter(check,
                {"qnmuro config check notice.xml", "qnmuro config check --strict notice.xml",
                 "qnmuro config check --json notice.xml | jq .documentInfo.action",
                 "qnmuro config check notice.xml --schema config.xsd --namespace urn:oa"},
                {"QNMURO_CODEPAGE"});
  SetHelpFooter(config, {"qnmuro config check notice.xml"}, {"QNMURO_CODEPAGE"});
}

}  // namespace qnmuro::cli
