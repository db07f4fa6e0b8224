// The add-in's event log as tests read it back: comlog.txt in a work directory, written in the
// ANSI code page with CR LF line ends, decoded to UTF-16 like the texts the tests compare with.
#ifndef QNMURO_TESTS_SUPPORT_EVENT_LOG_H_
#define QNMURO_TESTS_SUPPORT_EVENT_LOG_H_

#include <filesystem>
#include <string>
#include <vector>

namespace qnmuro::test_util {

// The whole log with its CR LF line ends; empty when there is none.
std::u16string ReadEventLog(const std::filesystem::path& work_dir);

// The log's lines without their CR LF, leaving out the first: the start banner that opened it.
// Later banners (an end banner, a second connection's start) are kept.
std::vector<std::u16string> ReadEventLogLines(const std::filesystem::path& work_dir);

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_EVENT_LOG_H_
