// qnmuro registry get NAME | set NAME VALUE | unset NAME | list: the values under the add-in's
// key (HKEY_LOCAL_MACHINE\SOFTWARE\zuzozer\web) in the registry file, QNMURO_REGISTRY or
// ~/.config/qnmuro/registry.reg. It writes as the OA system's other components do, so
// `set CurrentFile NAME` hands a document over and `set CurrentUser NAME` logs a user in. The
// empty NAME is the key's unnamed default value.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "cli/command.h"
#include "common/identity.h"
#include "platform/registry_store.h"
#include "platform/services.h"

namespace qnmuro::cli {
namespace {

struct RegistryArgs {
  std::string name;
  std::string value;
};

// A store failure other than "missing": one line on stderr, exit status 1.
void StoreFailure(const char* what, long code) {
  const long err = LastSystemError();
  std::string why = U8(RegistryResultText(code));
  if (code == kRegLockTimeout) {
    why += "; gave up after " + std::to_string(kRegistryLockWait.count() / 1000) + " s";
  } else if (why.empty()) {
    why = err > 0 && err != code ? std::strerror(static_cast<int>(err)) : "registry error";
  }
  std::cerr << "qnmuro: registry: cannot " << what << " " << DefaultRegistryPath().string() << ": "
            << why << " (code " << code << ")\n";
  ExitStatus() = 1;
}

void Get(const RegistryArgs& args) {
  const auto store = DefaultRegistryStore();
  RegistryValue value;
  const long code = store->GetValue(kHkeyLocalMachine, kIdentityKey, U16(args.name), &value);
  if (code == kRegNotFound) {
    return Fail("registry get: no value " +
                (args.name.empty() ? std::string("(default)") : "\"" + args.name + "\"") +
                " under HKEY_LOCAL_MACHINE\\" + U8(kIdentityKey));
  }
  if (code != kRegOk) return StoreFailure("read", code);
  std::cout << (value.type == kRegString ? U8(value.text) : FormatRegistryData(value)) << "\n";
}

void Set(const RegistryArgs& args) {
  const auto store = DefaultRegistryStore();
  long code = store->CreateKey(kHkeyLocalMachine, kIdentityKey);
  if (code == kRegOk) {
    code = store->SetValue(kHkeyLocalMachine, kIdentityKey, U16(args.name),
                           RegistryValue::String(U16(args.value)));
  }
  if (code != kRegOk) StoreFailure("write", code);
}

void Unset(const RegistryArgs& args) {
  const auto store = DefaultRegistryStore();
  const long code = store->DeleteValue(kHkeyLocalMachine, kIdentityKey, U16(args.name));
  if (code != kRegOk && code != kRegNotFound) StoreFailure("write", code);  // already gone is fine
}

void List() {
  const auto store = DefaultRegistryStore();
  RegistryValueList values;
  const long code = store->ListValues(kHkeyLocalMachine, kIdentityKey, &values);
  if (code == kRegNotFound) return;
  if (code != kRegOk) return StoreFailure("read", code);
  for (const auto& [name, value] : values)
    std::cout << FormatRegistryValueLine(name, value) << "\n";
}

}  // namespace

void AddRegistry(CLI::App& app) {
  CLI::App* registry = app.add_subcommand(
      "registry", "Read and write the add-in's registry values (QNMURO_REGISTRY)");
  registry->require_subcommand(1);
  auto args = std::make_shared<RegistryArgs>();

  CLI::App* get =
      registry->add_subcommand("get", "Print a value; a missing one is an error (exit 1)");
  get->add_option("NAME", args->name, "Value name (\"\" for the default value)")->required();
  get->callback([args] { Get(*args); });

  CLI::App* set = registry->add_subcommand("set", "Write a string value, creating the key");
  set->add_option("NAME", args->name, "Value name (\"\" for the default value)")->required();
  set->add_option("VALUE", args->value, "The text to store")->required();
  set->callback([args] { Set(*args); });

  CLI::App* unset = registry->add_subcommand("unset", "Remove a value (a missing one is no error)");
  unset->add_option("NAME", args->name, "Value name (\"\" for the default value)")->required();
  unset->callback([args] { Unset(*args); });

  CLI::App* list = registry->add_subcommand("list", "Print every value, one .reg line each");
  list->callback([] { List(); });

  const std::vector<std::string> env = {"QNMURO_REGISTRY"};
  SetHelpFooter(get, {"qnmuro registry get CurrentFile", "qnmuro registry get \"\""}, env);
  SetHelpFooter(
      set,
      {"qnmuro registry set CurrentFile notice.doc", "qnmuro registry set CurrentUser zhangsan"},
      env);
  SetHelpFooter(unset, {"qnmuro registry unset CurrentFile"}, env);
  SetHelpFooter(list, {"qnmuro registry list"}, env);
  SetHelpFooter(registry, {"qnmuro registry list", "qnmuro registry get CurrentFile"}, env);
}

}  // namespace qnmuro::cli
