// The add-in's event log: comlog.txt in the work directory, one line per event and per
// trapped error, bracketed by a start and an end banner per connection period. Lines are in
// the ANSI code page and end in CR LF. When the file reaches 1,024,000 bytes it is moved to
// bakcomlog.txt at the next creation. No operation reports a failure: a log that cannot be
// written is simply not written.
#ifndef QNMURO_COMMON_VELTO_LOG_H_
#define QNMURO_COMMON_VELTO_LOG_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace qnmuro {

class Clock;
class Error;
struct SharedState;

class VeltoLog {
 public:
  static constexpr uintmax_t kRotateSize = 1024000;

  // Rotates if needed, opens <work_dir>/comlog.txt for appending and writes the start banner.
  // `clock` gives the banner times; `log_switch` (may be null: always on) is what WriteLog
  // obeys. Both must outlive the log.
  VeltoLog(std::u16string work_dir, Clock* clock, const bool* log_switch);
  // Writes the end banner and closes the file.
  ~VeltoLog();
  VeltoLog(const VeltoLog&) = delete;
  VeltoLog& operator=(const VeltoLog&) = delete;

  // An event line, only while the log switch is on.
  void WriteLog(std::u16string_view message);
  // An error line whatever the switch says, with the source and number of the error being
  // handled (none: empty source and 0).
  void WriteErrorLog(std::u16string_view description, const Error* handled = nullptr);
  // Writes the end banner and closes the file; later writes are skipped.
  void CloseLog();

  const std::u16string& path() const { return log_path_; }

 private:
  void Append(const std::u16string& line);
  void Advance();
  std::u16string NumberedLine(std::u16string_view text) const;

  std::u16string log_path_;
  Clock* clock_;
  const bool* log_switch_;
  std::FILE* file_ = nullptr;
  int32_t sequence_ = 1;
  bool torn_ = false;  // the last line may have been cut short (a full disk)
};

// Shorthands for the add-in's shared log, doing nothing while there is none.
void WriteLog(SharedState* state, std::u16string_view message);
void WriteErrorLog(SharedState* state, std::u16string_view description,
                   const Error* handled = nullptr);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_VELTO_LOG_H_
