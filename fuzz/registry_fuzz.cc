// The registry file reader: any bytes as the .reg file. Nothing the store does not touch may
// change; every value it reads it writes back and reads again as the same value.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "platform/reg_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  RegDocument doc = RegDocument::Parse(bytes);
  // Kept byte for byte; only a last line without its line end gets one.
  const std::string out = doc.Serialize();
  const std::string_view added = std::string_view(out).substr(std::min(out.size(), bytes.size()));
  if (out.compare(0, bytes.size(), bytes) != 0 ||
      !(added.empty() || (!bytes.ends_with('\n') && (added == "\n" || added == "\r\n")))) {
    __builtin_trap();
  }

  constexpr char16_t kKey[] = u"SOFTWARE\\zuzozer\\web";
  const RegistryValueList values = doc.List(kHkeyLocalMachine, kKey);
  doc.CreateKey(kHkeyLocalMachine, kKey);
  // Each value written back as it was read, then a string that needs escaping and a number.
  for (const auto& [name, value] : values) {
    if (!doc.Set(kHkeyLocalMachine, kKey, name, value)) __builtin_trap();
  }
  const RegistryValue text = RegistryValue::String(u"zhang \"san\"\r\nC:\\x\u4e2d");
  const RegistryValue number = RegistryValue::Dword(0x0a);
  if (!doc.Set(kHkeyLocalMachine, kKey, u"CurrentUser", text) ||
      !doc.Set(kHkeyLocalMachine, kKey, u"n", number)) {
    __builtin_trap();
  }

  RegDocument reread = RegDocument::Parse(doc.Serialize());
  for (const auto& [name, value] : values) {
    const std::u16string folded = AsciiLower(name);  // names ignore letter case
    if (folded == u"currentuser" || folded == u"n") continue;
    const RegistryValue* found = reread.Find(kHkeyLocalMachine, kKey, name);
    if (found == nullptr || !(*found == value)) __builtin_trap();
  }
  const RegistryValue* user = reread.Find(kHkeyLocalMachine, kKey, u"CurrentUser");
  const RegistryValue* n = reread.Find(kHkeyLocalMachine, kKey, u"n");
  if (user == nullptr || !(*user == text) || n == nullptr || !(*n == number)) __builtin_trap();
  if (!reread.Remove(kHkeyLocalMachine, kKey, u"n")) __builtin_trap();
  return 0;
}
