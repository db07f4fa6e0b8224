#include "common/handover_mark.h"

#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "common/context.h"
#include "platform/file_io.h"

namespace qnmuro {
namespace {

// One line: the name, the control file's time of change in the file system's ticks, its size.
std::string MarkText(std::u16string_view current_file, std::u16string_view control_path) {
  std::error_code ec;
  const std::filesystem::path control = ToPath(control_path);
  const auto changed = std::filesystem::last_write_time(control, ec);
  if (ec) return std::string();
  const uintmax_t size = std::filesystem::file_size(control, ec);
  if (ec) return std::string();
  return Utf16ToUtf8(current_file) + "\t" + std::to_string(changed.time_since_epoch().count()) +
         "\t" + std::to_string(size) + "\n";
}

}  // namespace

std::u16string HandOverMarkPath(const Context& ctx) {
  return ctx.work_dir + kPathSeparator + u"handover.taken";
}

bool HandOverTaken(const Context& ctx, std::u16string_view current_file,
                   std::u16string_view control_path) {
  std::string held;
  int err = 0;
  if (ReadRegularFile(ToPath(HandOverMarkPath(ctx)), 4096, &held, &err) != FileReadStatus::kOk) {
    return false;
  }
  const std::string now = MarkText(current_file, control_path);
  return !now.empty() && held == now;
}

bool RememberHandOverTaken(const Context& ctx, std::u16string_view current_file,
                           std::u16string_view control_path) {
  const std::string text = MarkText(current_file, control_path);
  return !text.empty() && ReplaceFileContents(ToPath(HandOverMarkPath(ctx)), text) == 0;
}

void ForgetHandOverTaken(const Context& ctx) {
  std::error_code ec;
  std::filesystem::remove(ToPath(HandOverMarkPath(ctx)), ec);
}

}  // namespace qnmuro
