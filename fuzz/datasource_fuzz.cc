// Data-source loading and lookups: the first line is a key, the rest the data-source file. The
// key is looked up by name and by description, written, and the document saved and loaded
// again; no lookup may fail in any way but its documented empty result.
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "datasource/data_source.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  auto& fuzz = fuzz::FuzzContext::Get();
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string key = Utf8ToUtf16(fuzz::TakeLine(&bytes));
  const auto path = fuzz::WriteScratch("notice.ds.xml", bytes);

  DataSource source(&fuzz.state);
  const bool loaded = source.LoadXML(FromPath(path));
  for (const std::u16string& k : {key, std::u16string(u"领导意见"), std::u16string()}) {
    source.ItemGetDescByName(k);
    source.ItemGetValueByName(k);
    source.ItemGetValueByDesc(k);
    source.ItemGetExtendValueByName(k, k);
    source.ItemIsExtendExist(k);
    source.HasItemWithName(k);
    source.HasItemWithDesc(k);
  }
  if (!loaded) return 0;
  const bool had_item = source.HasItemWithName(key);
  source.ItemSetValueByName(key, u"新值\r第二段");
  source.ItemSetValueByDesc(key, key);
  const auto saved = fuzz::ScratchDir() / "saved.ds.xml";
  try {
    source.Save(FromPath(saved));
  } catch (const Error&) {
    return 0;  // a document the writer cannot encode is refused, not half written
  }
  // What was saved must load again and still hold the item.
  DataSource again(&fuzz.state);
  if (!again.LoadXML(FromPath(saved))) __builtin_trap();
  if (had_item && !again.HasItemWithName(key)) __builtin_trap();
  return 0;
}
