#include "datasource/merge.h"

#include "common/utils.h"

namespace qnmuro {

// The data-source class is not in the tree yet; until it is, there is nothing to merge.
std::u16string DataSourcePath(const Context& context, std::u16string_view document_name) {
  return context.workDir + kPathSeparator + RemoveFileExtension(document_name) +
         kDataSourceExtension;
}

bool MergeDataSource(const Context&, host::Application&) { return false; }

bool SetDataSource(const Context&, host::Application&) { return false; }

}  // namespace qnmuro
