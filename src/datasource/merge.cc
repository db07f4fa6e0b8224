#include "datasource/merge.h"

#include <filesystem>

#include "base/error.h"
#include "base/text.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "datasource/data_source.h"
#include "host/host_util.h"
#include "platform/file_io.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

constexpr char16_t kNoticeTitle[] = u"QNSoft";

bool IsPlainFile(std::u16string_view path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(ToPath(path), ec);
}

// The operation's error report: shown in a plain box and written to the event log. A load
// failure leaves no error pending (`handled` null): empty description, number 0.
void Report(const Context& context, std::u16string_view label, std::u16string_view context_text,
            const Error& error, const Error* handled) noexcept {
  IgnoreFailure([&] {
    const std::u16string report = ComposeErrorReport(label, context_text, error);
    if (context.ui != nullptr) {
      context.ui->ShowMessage(report, MsgButtons::kOk, MsgIcon::kNone, u"");
    }
    WriteErrorLog(context.state, report, handled);
  });
}

// Runs one of the two operations: finds and loads the data source of the active document,
// then hands it to `body`. `notice` and `context_text` are the load failure's texts.
template <class Body>
void WithDataSource(const Context& context, host::Application& app, std::u16string_view label,
                    std::u16string_view notice, std::u16string_view failure_suffix, Body&& body) {
  std::u16string context_text;
  TrapFirstFailure(
      [&] {
        const std::shared_ptr<host::Document> active = app.ActiveDocument();
        host::Document& doc = Require(active);
        const std::u16string path = DataSourcePath(context, doc.Name());
        if (!IsPlainFile(path)) return;
        DataSource source(context.state);
        if (!source.LoadItems(path)) {
          if (context.ui != nullptr) {
            context.ui->ShowMessage(notice, MsgButtons::kOk, MsgIcon::kInformation, kNoticeTitle);
          }
          context_text = u"数据源“" + path + u"”" + std::u16string(failure_suffix);
          Report(context, label, context_text, NoError(), nullptr);
          return;
        }
        body(doc, source, path);
      },
      [&](const Error& error) { Report(context, label, context_text, error, &error); });
}

}  // namespace

std::u16string DataSourcePath(const Context& context, std::u16string_view document_name) {
  return context.work_dir + kPathSeparator + RemoveFileExtension(document_name) +
         kDataSourceExtension;
}

bool MergeDataSource(const Context& context, host::Application& app) {
  WithDataSource(context, app, u"MergeDataSource错误：",
                 u"数据源无法初始化，文档可能不正常，请联系系统管理员！",
                 u"无法初始化，文档可能不正常！",
                 [&](host::Document& doc, DataSource& source, const std::u16string&) {
                   host::Bookmarks& bookmarks = doc.GetBookmarks();
                   const long count = bookmarks.Count();
                   for (long i = 1; i <= count; ++i) {
                     const auto held = bookmarks.Item(i);
                     host::Bookmark& bookmark = Require(held);
                     const std::u16string value = source.ItemGetValueByDesc(bookmark.Name());
                     const long start = bookmark.Start();
                     Require(bookmark.GetRange()).SetText(value);
                     // The bookmark encloses exactly the new value, collapsed when it is empty.
                     bookmark.SetStart(start);
                     bookmark.SetEnd(start + static_cast<long>(value.size()));
                   }
                 });
  return false;
}

bool SetDataSource(const Context& context, host::Application& app) {
  WithDataSource(context, app, u"SetDataSource错误：",
                 u"数据源无法初始化，文档数据回传可能不正常，请联系系统管理员！",
                 u"无法初始化，文档数据回传可能不正常！",
                 [&](host::Document& doc, DataSource& source, const std::u16string& path) {
                   host::Bookmarks& bookmarks = doc.GetBookmarks();
                   const long count = bookmarks.Count();
                   for (long i = 1; i <= count; ++i) {
                     const auto held = bookmarks.Item(i);
                     host::Bookmark& bookmark = Require(held);
                     const std::u16string text = Require(bookmark.GetRange()).Text();
                     if (!Trim(text).empty()) source.ItemSetValueByDesc(bookmark.Name(), text);
                   }
                   source.Save(path);
                 });
  return false;
}

}  // namespace qnmuro
