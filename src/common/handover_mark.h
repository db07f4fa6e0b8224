// A hand-over is taken once. Document open clears CurrentFile when it takes the handed-over
// document; where the clerk may not write the identity key (a standard user under
// HKEY_LOCAL_MACHINE), CurrentFile stays set, and without a memory every later document would
// be taken for the hand-over and its save uploaded into that record. So the add-in then
// remembers in the work directory which hand-over it took: the name CurrentFile gave and the
// control file's time of change and size. The OA side writes the control file anew with every
// hand-over, so a new hand-over of the same name is still taken.
#ifndef QNMURO_COMMON_HANDOVER_MARK_H_
#define QNMURO_COMMON_HANDOVER_MARK_H_

#include <string>
#include <string_view>

namespace qnmuro {

struct Context;

// The file the memory is kept in: the work directory's "handover.taken".
std::u16string HandOverMarkPath(const Context& ctx);

// Whether the hand-over of `current_file` with the control file at `control_path` as it is now
// was taken already.
bool HandOverTaken(const Context& ctx, std::u16string_view current_file,
                   std::u16string_view control_path);

// Remembers that hand-over as taken; false when the memory cannot be written.
bool RememberHandOverTaken(const Context& ctx, std::u16string_view current_file,
                           std::u16string_view control_path);

// Forgets it (CurrentFile could be cleared, so the registry remembers).
void ForgetHandOverTaken(const Context& ctx);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_HANDOVER_MARK_H_
