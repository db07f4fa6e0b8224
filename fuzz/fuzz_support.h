// Shared by the fuzz targets: a private scratch folder per process and bytes turned into the
// texts the parsers take. Each target defines LLVMFuzzerTestOneInput; replay_main.cc drives the
// same function over a corpus without libFuzzer.
#ifndef QNMURO_FUZZ_FUZZ_SUPPORT_H_
#define QNMURO_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::fuzz {

// A folder of this process's own under the temporary folder, made on first use and removed
// at exit, so that concurrent runs never share files.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qnmuro-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    static const std::string removed_at_exit = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removed_at_exit, ec);
    });
    return std::filesystem::path(pattern);
  }();
  return dir;
}

inline std::filesystem::path WriteScratch(const std::string& name, std::string_view bytes) {
  const std::filesystem::path path = ScratchDir() / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
  return path;
}

// Bytes as UTF-16 code units taken two at a time (little-endian), so that unpaired surrogates
// and every other unit reach the code under test; an odd last byte is dropped.
inline std::u16string AsUnits(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

// Splits off the text before the first line feed (the rest is everything after it).
inline std::string_view TakeLine(std::string_view* bytes) {
  const size_t end = bytes->find('\n');
  const std::string_view line = bytes->substr(0, end);
  bytes->remove_prefix(end == std::string_view::npos ? bytes->size() : end + 1);
  return line;
}

// A context as a loaded add-in has it: shared state with an event log (which rotates itself,
// so a long run stays small), a scripted UI and a virtual clock, the work directory being the
// scratch folder. Lives for the whole process.
struct FuzzContext {
  FuzzContext() : clock(NewVirtualClock(FromLocalTime({2026, 12, 7, 9, 30, 0}))) {
    state.records.commonInfo.clientLog = true;
    state.eventLog = std::make_unique<VeltoLog>(FromPath(ScratchDir()), clock.get(),
                                                &state.records.commonInfo.clientLog);
    ctx.state = &state;
    ctx.ui = &ui;
    ctx.clock = clock.get();
    ctx.work_dir = FromPath(ScratchDir());
  }

  static FuzzContext& Get() {
    static FuzzContext* shared = new FuzzContext();  // outlives every input
    return *shared;
  }

  ScriptedUi ui;
  std::unique_ptr<VirtualClock> clock;
  SharedState state;
  Context ctx;
};

}  // namespace qnmuro::fuzz

#endif  // QNMURO_FUZZ_FUZZ_SUPPORT_H_
