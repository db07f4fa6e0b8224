// Control-file loading: any bytes as a control file. A load either succeeds or fails with its
// one log line; the records of the last good load stay whole either way.
#include <cstdint>
#include <string_view>

#include "config/config.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  auto& fuzz = fuzz::FuzzContext::Get();
  const auto path = fuzz::WriteScratch("control.xml",
                                       std::string_view(reinterpret_cast<const char*>(data), size));
  Config config(fuzz.ctx);
  const bool loaded = config.Init(FromPath(path));
  if (loaded != config.initialised() || loaded == fuzz.state.controlLoadFailed) __builtin_trap();
  if (!loaded && config.last_report().empty()) __builtin_trap();
  config.CheckInitFlag();
  fuzz.ui.ClearRecords();
  return 0;
}
