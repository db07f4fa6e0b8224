// Merging a document's data source into its bookmarks, and writing the bookmarks back.
//
// The data-source file of a document lies in the work directory and is named after the
// document: report.doc uses <work dir>/report.ds.xml. A bookmark shows the item whose desc
// equals the bookmark's name exactly; where several items share a desc, the first in
// document order counts.
#ifndef QNMURO_DATASOURCE_MERGE_H_
#define QNMURO_DATASOURCE_MERGE_H_

#include <string>
#include <string_view>

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kDataSourceExtension[] = u".ds.xml";

// <work dir>/<document name without extension>.ds.xml
std::u16string DataSourcePath(const Context& context, std::u16string_view document_name);

// Fills every bookmark of the active document with its item's value (an empty text when no
// item matches); each bookmark then encloses exactly its new value. A missing file does
// nothing. Trapped: a file that fails to load or holds no item (every bookmark is then left
// as it is), or a failing host call, is shown and logged (bookmarks done so far keep their
// values). Always false.
bool MergeDataSource(const Context& context, host::Application& app);

// Copies the text of every bookmark that is not blank into its item and saves the file.
// Trapped like MergeDataSource. Always false.
bool SetDataSource(const Context& context, host::Application& app);

}  // namespace qnmuro

#endif  // QNMURO_DATASOURCE_MERGE_H_
