// The add-in's event log: comlog.txt in the work directory, one line per event and per
// trapped error, bracketed by a start and an end banner per connection period. Lines are in
// the ANSI code page and end in CR LF; a control character in a logged text is written as
// "\xHH", so that every call makes one line. When the file reaches 1,024,000 bytes it is moved
// to bakcomlog.txt at the next creation. Each line is appended to the file then at the log's
// path, never through a link and only to a regular file, so that another process's rotation
// or a planted link cannot carry it elsewhere. No operation reports a failure: a log that
// cannot be written is simply not written.
#ifndef QNMURO_COMMON_VELTO_LOG_H_
#define QNMURO_COMMON_VELTO_LOG_H_

#include <cstdint>
#include <string>

namespace qnmuro {

class Clock;
enum class AppendStatus;
class Error;
struct SharedState;

class VeltoLog {
 public:
  static constexpr uintmax_t kRotateSize = 1024000;

  // Rotates if needed and writes the start banner to <work_dir>/comlog.txt; when that cannot be
  // opened, the log stays closed.
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
  AppendStatus Append(const std::u16string& line);
  void Advance();
  std::u16string NumberedLine(std::u16string_view text) const;

  std::u16string log_path_;
  Clock* clock_;
  const bool* log_switch_;
  bool open_ = false;
  int32_t sequence_ = 1;
  bool torn_ = false;  // the last line may have been cut short (a full disk)
};

// Shorthands for the add-in's shared log, doing nothing while there is none.
void WriteLog(SharedState* state, std::u16string_view message);
void WriteErrorLog(SharedState* state, std::u16string_view description,
                   const Error* handled = nullptr);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_VELTO_LOG_H_
