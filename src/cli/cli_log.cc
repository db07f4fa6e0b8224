// qnmuro log [--tail N] [--follow]: prints the add-in's event log, comlog.txt in the work
// directory, in UTF-8 with plain line ends; the file itself stays in the ANSI code page with
// CR LF, as the add-in writes it. --follow keeps printing lines as they are appended; when the
// log was rotated it prints what the old log got last (from its backup copy), then the new log
// from the top, and a log replaced by another file is read from the top too.
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "base/text.h"
#include "cli/command.h"
#include "common/context.h"
#include "platform/file_io.h"
#include "platform/services.h"

namespace qnmuro::cli {
namespace {

namespace fs = std::filesystem;

struct LogArgs {
  long tail = -1;  // -1: every line
  bool follow = false;
};

// The whole lines of `file` from byte `from` on; *next becomes the offset after the last one and
// *last the bytes of that line with its end (unchanged when there is none).
std::deque<std::string> LinesFrom(const fs::path& file, uintmax_t from, uintmax_t* next,
                                  std::string* last) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::deque<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    *last = bytes.substr(start, end + 1 - start);
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  *next = from + start;
  return lines;
}

// Whether `file` still holds `last` just before `offset`: it is the log read so far, grown or
// not, and not another file put in its place.
bool Continues(const fs::path& file, uintmax_t offset, const std::string& last) {
  if (offset < last.size()) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  in.seekg(static_cast<std::streamoff>(offset - last.size()));
  std::string bytes(last.size(), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return in.gcount() == static_cast<std::streamsize>(bytes.size()) && bytes == last;
}

void Print(const std::deque<std::string>& lines) {
  for (const std::string& line : lines) std::cout << U8(FromAnsi(line)) << "\n";
  std::cout.flush();
}

void RunLog(const LogArgs& args) {
  const fs::path file = ToPath(DefaultWorkDir() + kPathSeparator + u"comlog.txt");
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    return Fail("log: there is no log " + file.string() + " (the add-in writes it once loaded)");
  }
  uintmax_t offset = 0;
  std::string last;  // the last line printed, as the file holds it
  std::deque<std::string> lines = LinesFrom(file, 0, &offset, &last);
  while (args.tail >= 0 && lines.size() > static_cast<size_t>(args.tail)) lines.pop_front();
  Print(lines);
  const fs::path backup = file.parent_path() / "bakcomlog.txt";
  while (args.follow && std::cout) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const uintmax_t size = fs::file_size(file, ec);
    if (ec) continue;  // between the rotation's move and the new file
    if (size < offset || !Continues(file, offset, last)) {
      // Rotated (or replaced): the lines the old log got since the last look went with it into
      // the backup copy; then the new log from its start.
      if (Continues(backup, offset, last)) {
        uintmax_t ignored = 0;
        Print(LinesFrom(backup, offset, &ignored, &last));
      }
      offset = 0;
      last.clear();
    }
    if (size > offset) Print(LinesFrom(file, offset, &offset, &last));
  }
}

}  // namespace

void AddLog(CLI::App& app) {
  CLI::App* log = app.add_subcommand(
      "log", "Print the add-in's event log (comlog.txt in the work directory) in UTF-8");
  auto args = std::make_shared<LogArgs>();
  log->add_option("--tail", args->tail, "print only the last N lines")
      ->check(CLI::NonNegativeNumber);
  log->add_flag("-f,--follow", args->follow, "keep printing lines as the add-in writes them");
  log->callback([args] { RunLog(*args); });
  SetHelpFooter(log, {"qnmuro log", "qnmuro log --tail 20", "qnmuro log --follow"},
                {"QNMURO_WORKDIR", "QNMURO_CODEPAGE"});
}

}  // namespace qnmuro::cli
