// Config: loads a document's control file into the add-in's shared control-file records.
//
// A load reads the whole file into a fresh ControlRecords and swaps it into
// ctx.state->records only when every field was read, so a failed load leaves the records of
// the previous load exactly as they were. The one exception is the log switch: clientLog is
// taken over the moment it is read, even when the load fails later. Every load sets
// ctx.state->controlLoadFailed to whether it failed.
//
// Failures never reach the caller: each failed Init or CheckSchema writes exactly one error
// line to ctx.state's event log and answers false. Only CheckInitFlag talks to the user.
#ifndef QNMURO_CONFIG_CONFIG_H_
#define QNMURO_CONFIG_CONFIG_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/records.h"
#include "config/vocabulary.h"

namespace qnmuro {

struct Context;
class Error;

class Config {
 public:
  // `ctx` (its state, for records and log, and its UI) must outlive the object. With a null
  // ctx.state a load is checked but stored nowhere and nothing is logged.
  explicit Config(Context& ctx);
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  // Loads the control file at `path`. True when the file was loaded and every field read; the
  // initialised flag takes the same value. On failure the log gets
  // "Config.Init() Error:" + last_error() + description + "(" + number + ":" + system code + ")".
  bool Init(std::u16string_view path);

  // The initialised flag; when false, first shows "对不起，参数没有初始化！" (title "QN-Velto",
  // information icon).
  bool CheckInitFlag();

  // Validates the XML file against the XSD registered under `namespace_uri`. True when valid.
  // On failure the last error becomes the parser's code, a blank and its reason (or stays as it
  // was when the schema itself cannot be used) and the log gets
  // "执行Schema检查时发生错误：" + last error + description + "(" + number + ":" + code + ")".
  bool CheckSchema(std::u16string_view xml_path, std::u16string_view namespace_uri,
                   std::u16string_view xsd_path);

  // CheckSchema, then Init when the file is valid. An invalid file is not loaded at all and
  // clears the initialised flag. Returns the initialised flag.
  bool InitWithSchemaCheck(std::u16string_view xml_path, std::u16string_view namespace_uri,
                           std::u16string_view xsd_path);

  // The keyword conversions that Init applies (see config/vocabulary.h).
  static int16_t ActionCode(std::u16string_view keyword) { return qnmuro::ActionCode(keyword); }
  static int16_t BinaryTypeCode(std::u16string_view keyword) {
    return qnmuro::BinaryTypeCode(keyword);
  }
  static int16_t ValueTypeCode(std::u16string_view keyword) {
    return qnmuro::ValueTypeCode(keyword);
  }
  static int16_t TransferMethodCode(std::u16string_view keyword) {
    return qnmuro::TransferMethodCode(keyword);
  }

  bool initialised() const { return initialised_; }
  // What went wrong in the last failed step of Init or CheckSchema: for a file that cannot be
  // opened "初始化控制参数时，无法打开配置文件：" + path; for a field that is missing or
  // unreadable its path in the file (e.g. "/config/document/button").
  const std::u16string& last_error() const { return last_error_; }
  // The error line the last failed operation wrote (without the log's own prefix and
  // suffix); empty until something failed.
  const std::u16string& last_report() const { return last_report_; }
  // Why the last failed Init or CheckSchema failed, in plain words for an integrator: the file
  // that is not there, the parser's message with line and column, an encoding the file does not
  // declare, the required element that is missing or the one that cannot be read, the schema
  // check's verdict. Empty after success.
  const std::u16string& reason() const { return reason_; }

 private:
  void Report(std::u16string_view label, const Error* error);

  Context& ctx_;
  bool initialised_ = false;
  std::u16string last_error_;
  std::u16string last_report_;
  std::u16string reason_;
};

}  // namespace qnmuro

#endif  // QNMURO_CONFIG_CONFIG_H_
