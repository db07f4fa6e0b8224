#include "common/utils.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "common/base64.h"
#include "common/context.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr std::u16string_view kUnescaped =
    u"*+-./0123456789@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
constexpr size_t kMaxBackupNameLength = 32;
constexpr size_t kProgramBufferLength = 255;
constexpr auto kBackupKeepTime = std::chrono::hours(24 * 7);

// Copies into a new file beside `to` and renames it over `to` only once the copy is whole, so
// that a disk filling up half-way never leaves a partial copy, nor one in place of an earlier
// backup of the same name.
// Copies `from` under a name of its own: name(1), else name(n) with the first free n. The copy
// appears whole or not at all, and never in place of a file already there.
bool CopyWhole(const fs::path& from, const std::function<fs::path(int)>& name_for) {
  const fs::path to = name_for(1);
  for (int i = 0; i < 100; ++i) {
    fs::path temp = to;
    temp += ".part" + std::to_string(i);
    std::error_code ec;
    // Without an overwrite option the copy creates its target exclusively: a file someone
    // left under that name is never written, nor removed.
    if (fs::copy_file(from, temp, ec) && !ec) {
      for (int n = 1; n < 1000; ++n) {
        const fs::path name = name_for(n);
        // A link is made only where no file is: the rename would replace one.
        fs::create_hard_link(temp, name, ec);
        if (!ec) {
          fs::remove(temp, ec);
          return true;
        }
        if (ec != std::errc::file_exists) break;
      }
      // No links on this volume: a rename where nothing is yet.
      if (ec && ec != std::errc::file_exists && !fs::exists(to, ec)) {
        fs::rename(temp, to, ec);
        if (!ec) return true;
      }
    } else if (ec == std::errc::file_exists) {
      continue;
    }
    fs::remove(temp, ec);
    return false;
  }
  return false;
}

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

size_t LastSeparator(std::u16string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::u16string_view::npos;
}

LocalTime Now(const Context& ctx) {
  return ctx.clock != nullptr ? ctx.clock->NowLocal()
                              : ToLocalTime(std::chrono::system_clock::now());
}

}  // namespace

std::u16string GetFileExtension(std::u16string_view path) {
  // Without a fourth character from the end the first test fails like any error does.
  if (path.size() < 4) return std::u16string(path);
  if (path[path.size() - 4] == u'.') return std::u16string(path.substr(path.size() - 4));
  const size_t dot = path.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(dot));
}

std::u16string RemoveFileExtension(std::u16string_view path) {
  return std::u16string(path.substr(0, path.size() - GetFileExtension(path).size()));
}

std::u16string GetFileName(std::u16string_view path) {
  if (Trim(path).empty()) return {};
  const size_t sep = LastSeparator(path);
  return std::u16string(sep == std::u16string_view::npos ? path : path.substr(sep + 1));
}

std::u16string GetFilePath(std::u16string_view path) {
  if (Trim(path).empty()) return {};
  const size_t sep = LastSeparator(path);
  return std::u16string(sep == std::u16string_view::npos ? path : path.substr(0, sep + 1));
}

std::u16string AppendUrlParameter(std::u16string_view url, std::u16string_view parameter) {
  if (parameter.empty()) return std::u16string(url);
  std::u16string param(parameter);
  const std::u16string trimmed = TrimLeft(parameter);
  if (!trimmed.empty() && (trimmed[0] == u'&' || trimmed[0] == u'?')) param = trimmed.substr(1);
  std::u16string out(url);
  if (url.find(u'?') == std::u16string_view::npos) return out + u"?" + param;
  const std::u16string right_trimmed = TrimRight(url);
  if (!right_trimmed.empty() && right_trimmed.back() == u'&') return out + param;
  return out + u"&" + param;
}

std::u16string EncodeFileName(std::u16string_view text) {
  const std::u16string encoded = Base64().Encode(text);
  return Trim(ReplaceAll(ReplaceAll(encoded, u"+", u"%2B"), u"/", u"%2F"));
}

std::u16string EscapeText(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (kUnescaped.find(c) != std::u16string_view::npos) {
      out += c;
      continue;
    }
    const std::u16string hex = UpperHex(c);
    switch (hex.size()) {
      case 1:
        out += u"%0" + hex;
        break;
      case 2:
        out += u"%" + hex;
        break;
      case 3:
        out += u"%u0" + hex;
        break;
      default:
        out += u"%u" + hex;
        break;
    }
  }
  return out;
}

bool BackupFile(const Context& ctx, std::u16string_view path) {
  bool copied = false;
  IgnoreFailure([&] {
    const size_t sep = LastSeparator(path);
    if (sep == std::u16string_view::npos) return;
    const std::u16string folder(path.substr(0, sep));
    std::u16string name(path.substr(sep + 1));
    if (name.size() > kMaxBackupNameLength) name.erase(0, kMaxBackupNameLength);
    const std::u16string backup_folder = folder + kPathSeparator + kBackupFolderName;
    PrepareBackupFolder(ctx, backup_folder);
    const std::u16string stamp = FormatCompactTimestamp(Now(ctx));
    // Two saves in one second: the later copy's stamp gets a number.
    copied = CopyWhole(ToPath(path), [&](int n) {
      return ToPath(backup_folder + kPathSeparator + stamp + (n > 1 ? u"-" + ToText(n) : u"") +
                    name);
    });
  });
  return copied;
}

void PrepareBackupFolder(const Context& ctx, std::u16string_view folder) {
  IgnoreFailure([&] {
    const fs::path dir = ToPath(folder);
    std::error_code ec;
    if (!fs::exists(dir, ec)) fs::create_directory(dir, ec);
    const auto now = ctx.clock != nullptr ? ctx.clock->Now() : std::chrono::system_clock::now();
    std::vector<fs::path> old;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code entry_ec;
      if (!it->is_regular_file(entry_ec)) continue;
      const auto written = fs::last_write_time(it->path(), entry_ec);
      if (entry_ec) continue;
      const auto modified = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written));
      if (now - modified > kBackupKeepTime) old.push_back(it->path());
    }
    for (const fs::path& file : old) fs::remove(file, ec);
  });
}

int32_t ShellOpenFile(const Context& ctx, std::u16string_view path) {
  long result = 0;
  const auto report = [&](const Error& e, const Error* handled) {
    const std::u16string label = u"启动" + std::u16string(path) + u"失败！" + ToText(result);
    WriteErrorLog(ctx.state, ComposeErrorReport(label, u"", e), handled);
  };
  const bool ran = TrapFirstFailure(
      [&] {
        if (ctx.shell == nullptr) throw MakeError(kErrObjectNotSet);
        result = ctx.shell->OpenDocument(path, ctx.work_dir);
      },
      [&](const Error& e) { report(e, &e); });
  if (!ran) return 0;
  if (result > 32) return static_cast<int32_t>(result);
  report(NoError(), nullptr);
  return 0;
}

std::u16string FindAssociatedProgram(const Context& ctx, std::u16string_view path) {
  std::u16string program;
  IgnoreFailure([&] {
    if (ctx.shell == nullptr) return;
    std::u16string found;
    if (ctx.shell->FindProgram(GetFileName(path), GetFilePath(path), &found) <= 32) return;
    found = found.substr(0, found.find(u'\0'));
    program = found.substr(0, kProgramBufferLength);
  });
  return program;
}

void KillProcess(const Context& ctx, std::u16string_view program) {
  IgnoreFailure([&] {
    if (ctx.shell == nullptr) return;
    std::vector<ProcessEntry> processes;
    if (!ctx.shell->ListProcesses(&processes)) return;
    const std::u16string wanted = GetFileName(program);
    if (wanted.empty()) return;  // no program: nothing can match it
    for (const ProcessEntry& process : processes) {
      // Only a viewer the add-in started: any other process of that name is someone else's.
      if (!process.startedHere) continue;
      const std::u16string exe = process.exeName.substr(0, process.exeName.find(u'\0'));
      if (!EqualsIgnoreCase(GetFileName(exe), wanted)) continue;
      if (ctx.shell->HasVisibleWindow(process.pid)) return;  // the user is working with it
      if (!ctx.shell->EndProcess(process.pid)) return;
      WriteLog(ctx.state, u"强行关闭进程：" + exe + ToText(process.pid));
      return;
    }
  });
}

void SetCursorShape(const Context& ctx, int code) {
  IgnoreFailure([&] {
    if (ctx.ui != nullptr) ctx.ui->SetCursorShape(code);
  });
}

}  // namespace qnmuro
