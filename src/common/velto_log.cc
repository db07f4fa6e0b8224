#include "common/velto_log.h"

#include <filesystem>
#include <limits>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "platform/clock.h"
#include "platform/file_io.h"

namespace qnmuro {
namespace {

std::u16string Banner(Clock* clock, std::u16string_view word) {
  const LocalTime now = clock != nullptr ? clock->NowLocal() : ToLocalTime(TimePoint::clock::now());
  std::u16string line(u"**********QNSoft");
  line += word;
  line += FormatTimestamp(now);
  line += u"**********";
  return line;
}

// Control characters as "\xHH": a line feed or carriage return in a value would start a line
// of the value's choosing.
std::u16string EscapeControls(std::u16string_view text) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (c >= 0x20) {
      out += c;
      continue;
    }
    out += u"\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  }
  return out;
}

}  // namespace

VeltoLog::VeltoLog(std::u16string work_dir, Clock* clock, const bool* log_switch)
    : clock_(clock), log_switch_(log_switch) {
  namespace fs = std::filesystem;
  // The platform's separator: C:\OAWork\comlog.txt on Windows.
  log_path_ = work_dir + kPathSeparator + u"comlog.txt";
  const std::u16string backup = work_dir + kPathSeparator + u"bakcomlog.txt";
  std::error_code ec;
  const fs::path log = ToPath(log_path_);
  const fs::path bak = ToPath(backup);
  // The full log becomes the backup by renaming, which replaces the previous backup in one step
  // and needs no room on the disk: a full disk cannot leave a partial backup, nor lose lines.
  // A failure is skipped; the open below then appends to whatever is still there.
  if (fs::is_regular_file(fs::symlink_status(log, ec)) && fs::file_size(log, ec) >= kRotateSize &&
      !ec) {
    fs::rename(log, bak, ec);
  }
  // A log that cannot be opened now (no work directory, a link in its place) stays closed for
  // the whole connection period.
  open_ = true;
  open_ = Append(Banner(clock_, u"日志开始于")) != AppendStatus::kRefused;
  sequence_ = 1;
}

VeltoLog::~VeltoLog() {
  CloseLog();
}

void VeltoLog::CloseLog() {
  if (!open_) return;
  Append(Banner(clock_, u"日志结束于"));
  open_ = false;
}

AppendStatus VeltoLog::Append(const std::u16string& line) {
  if (!open_) return AppendStatus::kRefused;
  // A line that a full disk cut short is ended first, so that it never runs into this one.
  std::string bytes = torn_ ? "\r\n" : "";
  bytes += ToAnsi(EscapeControls(line));
  bytes += "\r\n";
  // One write per line, so that lines of processes sharing the log never mix; readers and a
  // crashing host see every line written so far.
  const AppendStatus status = AppendToRegularFile(ToPath(log_path_), bytes);
  if (status != AppendStatus::kRefused) torn_ = status == AppendStatus::kCut;
  return status;
}

// Built by appending: GCC 12 misreports `literal + string` as overlapping copies at -O3.
std::u16string VeltoLog::NumberedLine(std::u16string_view text) const {
  std::u16string line(u"#");
  line += ToText(sequence_);
  line += u"： ";
  line += text;
  return line;
}

void VeltoLog::Advance() {
  if (sequence_ < std::numeric_limits<int32_t>::max()) ++sequence_;
}

void VeltoLog::WriteLog(std::u16string_view message) {
  if (log_switch_ != nullptr && !*log_switch_) return;
  Append(NumberedLine(message));
  Advance();
}

void VeltoLog::WriteErrorLog(std::u16string_view description, const Error* handled) {
  std::u16string line = NumberedLine(description);
  line += u" Err.Source=";
  if (handled != nullptr) line += handled->source();
  line += u" Err.Number=";
  line += ToText(handled != nullptr ? handled->number() : 0);
  Append(line);
  Advance();
}

void WriteLog(SharedState* state, std::u16string_view message) {
  if (state != nullptr && state->eventLog) state->eventLog->WriteLog(message);
}

void WriteErrorLog(SharedState* state, std::u16string_view description, const Error* handled) {
  if (state != nullptr && state->eventLog) state->eventLog->WriteErrorLog(description, handled);
}

}  // namespace qnmuro
