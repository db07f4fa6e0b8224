// What a control file's content means for the workflow, decided in one place: which actions
// upload and merge, which binary is the document body, what a save appends to its address,
// which templates and seals the dialogs offer. The add-in acts on these; `config check` and
// `handover check` judge a control file by the same rules (CheckControlFile), so the check
// and what the add-in then does cannot drift apart.
#ifndef QNMURO_CONFIG_CONTROL_RULES_H_
#define QNMURO_CONFIG_CONTROL_RULES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"

namespace qnmuro {

// How document open prepares the document for its action.
enum class Preparation {
  kNone,      // nothing merged, nothing locked
  kDraft,     // merge, caret to BodyStart
  kView,      // merge, then revision tracking on and locked
  kApprove,   // unlock for the merge, then tracking on and locked again
  kFinalize,  // tracking off and unlocked, merge, every bookmark removed
};
Preparation ActionPreparation(int16_t action);

// Whether a save and a close of the document upload it (draft, approve, finalise, config).
bool ActionUploads(int16_t action);
// Whether opening the document fills its bookmarks from the data source (draft to finalise).
bool ActionMerges(int16_t action);

// The document body: the last binary of type content; null when there is none.
const BinaryInfo* ContentBinary(const ControlRecords& records);

// The text a save appends to the content binary's upload address.
std::u16string UploadQuery(std::u16string_view unid, long action);

// Whether an upload address can be used at all: an absolute http or https URL with a host.
bool UsableUploadAddress(std::u16string_view url);

// Whether the template dialog offers a template file: its name contains ".wps" in any case.
bool TemplateOffered(std::u16string_view template_file);

// The seal names the seal dialog offers: those of the seal entries before the first one
// without unid.
std::vector<std::u16string> OfferedSeals(const ControlRecords& records);

struct Finding {
  enum Severity {
    kProblem,  // the hand-over does not do what the OA side meant (an upload that cannot go)
    kWarning,  // doubtful; the document still goes its way
  };
  Severity severity;
  std::string element;  // the element's path in the file, e.g. /config/document/action
  std::string problem;  // in plain words, UTF-8
};

// What is wrong with the control file `file`, which loaded into `records` (the file is read
// again for what the records do not keep: unknown and repeated elements). Nothing when the
// file does not parse; the loader says why.
std::vector<Finding> CheckControlFile(std::u16string_view file, const ControlRecords& records);

}  // namespace qnmuro

#endif  // QNMURO_CONFIG_CONTROL_RULES_H_
