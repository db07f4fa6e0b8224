#include "support/event_log.h"

#include "base/text.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {

std::u16string ReadEventLog(const std::filesystem::path& work_dir) {
  // The writer's code page: this process's own, which a qnmuro started from a test inherits.
  return FromAnsi(ReadBytes(work_dir / "comlog.txt"));
}

std::vector<std::u16string> ReadEventLogLines(const std::filesystem::path& work_dir) {
  const std::u16string text = ReadEventLog(work_dir);
  std::vector<std::u16string> lines;
  size_t start = text.find(u"\r\n");  // past the start banner
  if (start == std::u16string::npos) return lines;
  for (start += 2; start < text.size();) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace qnmuro::test_util
