// qnmuro config check FILE [--schema XSD --namespace URI]: loads a control file the way document
// open does (validating it first when a schema is given) and prints the records it produced.
// The command keeps its state in memory and writes no comlog.txt; a failed load prints the line
// the add-in would have logged on stderr and exits 1.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/command.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "config/config.h"

namespace qnmuro::cli {
namespace {

struct CheckArgs {
  std::string file;
  std::string schema;
  std::string namespace_uri;
};

void Field(const std::string& name, std::u16string_view value) {
  std::cout << "  " << name << " = " << U8(value) << "\n";
}
void Field(const std::string& name, long value) {
  std::cout << "  " << name << " = " << value << "\n";
}

std::string At(const char* list, size_t i) {
  return std::string(list) + "[" + std::to_string(i) + "]";
}

void PrintBinaries(const char* list, const std::vector<BinaryInfo>& binaries) {
  for (size_t i = 0; i < binaries.size(); ++i) {
    const BinaryInfo& b = binaries[i];
    std::cout << At(list, i) << "\n";
    Field("type", b.type);
    Field("fileName", b.fileName);
    Field("downloadUrl", b.downloadUrl);
    Field("title", b.title);
    Field("uploadUrl", b.uploadUrl);
    Field("valueType", b.valueType);
    Field("draftUrl", b.draftUrl);
  }
}

void PrintWordNames(const char* list, const std::vector<WordNameInfo>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    const WordNameInfo& w = words[i];
    std::cout << At(list, i) << "\n";
    Field("name", w.name);
    Field("unid", w.unid);
    for (size_t k = 0; k < w.templateName.size(); ++k) {
      Field(At("templateName", k), w.templateName[k]);
      Field(At("templateFile", k), k < w.templateFile.size() ? w.templateFile[k] : u"");
    }
  }
}

void PrintDatabase(const std::string& name, const DatabaseInfo& db) {
  Field(name + ".fileName", db.fileName);
  Field(name + ".filePath", db.filePath);
  Field(name + ".title", db.title);
  Field(name + ".server.title", db.server.title);
  Field(name + ".server.name", db.server.name);
  Field(name + ".server.address", db.server.address);
}

void PrintRecords(const ControlRecords& r) {
  const CommonInfo& c = r.commonInfo;
  std::cout << "commonInfo\n";
  Field("name", c.name);
  Field("dept", c.dept);
  Field("lastName", c.lastName);
  Field("fullName", c.fullName);
  Field("password", c.password);
  Field("rootUrl", c.rootUrl);
  Field("transferMethod", c.transferMethod);
  Field("clientLog", c.clientLog ? u"true" : u"false");
  PrintBinaries("binarys", r.binarys);
  PrintBinaries("binaryAssistants", r.binaryAssistants);
  PrintWordNames("wordNames", r.wordNames);
  PrintWordNames("sealWordNames", r.sealWordNames);
  const DocumentInfo& d = r.documentInfo;
  std::cout << "documentInfo\n";
  PrintDatabase("database", d.database);
  PrintDatabase("binaryDatabase", d.binaryDatabase);
  Field("unid", d.unid);
  Field("status", d.status);
  Field("action", d.action);
  Field("button", d.button);
  for (size_t i = 0; i < r.extendParameters.size(); ++i) {
    std::cout << At("extendParameters", i) << "\n";
    Field("name", r.extendParameters[i].name);
    Field("value", r.extendParameters[i].value);
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
    std::cerr << "qnmuro: " << U8(config.last_report()) << "\n";
    ExitStatus() = 1;
    return;
  }
  PrintRecords(state.records);
}

}  // namespace

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
  check->callback([args, schema, ns] {
    if (ns->count() > 0 && schema->count() == 0) Usage("config check: --namespace needs --schema");
    Check(*args, schema->count() > 0);
  });
}

}  // namespace qnmuro::cli
