#include "platform/http_wire.h"

namespace qnmuro {
namespace {

// How often the rate check keeps a sample of the bytes moved so far.
constexpr std::chrono::milliseconds kSampleSpacing{100};

}  // namespace

bool HasControl(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool HasPlainAddress(const HttpRequest& request) {
  if (request.host.empty() || request.port <= 0 || request.port > 65535) return false;
  for (unsigned char c : request.host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool HeadersAreClean(const HttpRequest& request) {
  for (const auto& [name, value] : request.headers) {
    if (HasControl(name) || name.find(':') != std::string::npos || HasControl(value)) {
      return false;
    }
  }
  return !HasControl(request.cookie) && !HasControl(request.user_agent) &&
         !HasControl(request.user);
}

std::string EncodeTarget(const std::string& target) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.empty() || out[0] != '/') out.insert(out.begin(), '/');
  return out;
}

void AddHeaderLine(std::string_view line, HttpHeaders* headers) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  size_t v = colon + 1;
  while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
  headers->emplace_back(std::string(line.substr(0, colon)), std::string(line.substr(v)));
}

void AddHeaderLines(std::string_view raw, HttpHeaders* headers) {
  while (!raw.empty()) {
    const size_t end = raw.find("\r\n");
    AddHeaderLine(raw.substr(0, end), headers);
    raw = end == std::string_view::npos ? std::string_view() : raw.substr(end + 2);
  }
}

RateFloor::RateFloor(const HttpClientOptions& options, Clock::time_point start)
    : window_(options.slow_window), rate_(options.slow_rate) {
  samples_.emplace_back(start, 0);
}

bool RateFloor::TooSlow(uint64_t moved, Clock::time_point now) {
  if (!active()) return false;
  if (now - samples_.back().first >= kSampleSpacing) samples_.emplace_back(now, moved);
  // Keep the newest sample that is at least a window old, and everything after it.
  const Clock::time_point window_start = now - window_;
  while (samples_.size() >= 2 && samples_[1].first <= window_start) samples_.pop_front();
  if (samples_.front().first > window_start) return false;  // not a whole window yet
  const uint64_t in_window = moved - samples_.front().second;
  return in_window / static_cast<uint64_t>(window_.count()) < rate_;
}

std::string RateFloor::Explanation() const {
  return "the average rate stayed under " + std::to_string(rate_) + " bytes per second for " +
         std::to_string(window_.count()) + " seconds";
}

}  // namespace qnmuro
