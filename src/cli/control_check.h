// What the add-in accepts in a control file without a word although it cannot be what the OA
// side meant: the findings of `config check --strict` and of `handover check`. The add-in
// itself is not changed by any of them.
#ifndef QNMURO_CLI_CONTROL_CHECK_H_
#define QNMURO_CLI_CONTROL_CHECK_H_

#include <string>
#include <vector>

#include "common/records.h"

namespace qnmuro::cli {

struct Finding {
  std::string element;  // the element's path in the file, e.g. /config/document/action
  std::string problem;  // in plain words, UTF-8
};

// The findings for `file`, which loaded into `records`: an unknown action, binary type or
// transfer method keyword, a button caption that names no button, no content binary or an
// empty uploadUrl for it, a root address that is no usable http(s) URL.
std::vector<Finding> CheckControlFile(const std::u16string& file, const ControlRecords& records);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_CONTROL_CHECK_H_
