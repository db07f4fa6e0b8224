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

HttpTrouble TroubleOfWindowsError(unsigned long code) {
  switch (code) {       // the URL moniker's own codes
    case 0x800C0004UL:  // INET_E_CANNOT_CONNECT
      return HttpTrouble::kRefused;
    case 0x800C000BUL:  // INET_E_CONNECTION_TIMEOUT
      return HttpTrouble::kTimedOut;
    case 0x800C0005UL:  // INET_E_RESOURCE_NOT_FOUND: the server name did not resolve
      return HttpTrouble::kNoHost;
    case 0x800C000EUL:  // INET_E_SECURITY_PROBLEM
    case 0x800C0019UL:  // INET_E_INVALID_CERTIFICATE
      return HttpTrouble::kTls;
    default:
      break;
  }
  // An HRESULT of the Win32 facility carries the error code in its low word.
  if ((code & 0xFFFF0000UL) == 0x80070000UL) code &= 0xFFFFUL;
  switch (code) {
    case 12029:  // ERROR_INTERNET_CANNOT_CONNECT
    case 10061:  // WSAECONNREFUSED
      return HttpTrouble::kRefused;
    case 12002:  // ERROR_INTERNET_TIMEOUT
    case 10060:  // WSAETIMEDOUT
      return HttpTrouble::kTimedOut;
    case 12007:  // ERROR_INTERNET_NAME_NOT_RESOLVED
      return HttpTrouble::kNoHost;
    case 12037:  // ERROR_INTERNET_SEC_CERT_DATE_INVALID
    case 12038:  // ERROR_INTERNET_SEC_CERT_CN_INVALID
    case 12044:  // ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED
    case 12045:  // ERROR_INTERNET_INVALID_CA
    case 12157:  // ERROR_INTERNET_SECURITY_CHANNEL_ERROR
    case 12169:  // ERROR_INTERNET_SEC_INVALID_CERT
    case 12175:  // ERROR_INTERNET_DECODING_FAILED
    case 12179:  // ERROR_INTERNET_SEC_CERT_ERRORS
      return HttpTrouble::kTls;
    case 12030:  // ERROR_INTERNET_CONNECTION_ABORTED
    case 12031:  // ERROR_INTERNET_CONNECTION_RESET
    case 12152:  // ERROR_HTTP_INVALID_SERVER_RESPONSE
      return HttpTrouble::kBrokenOff;
    default:
      return HttpTrouble::kOther;
  }
}

std::string DescribeHttpTrouble(const HttpRequest& request, const HttpResponse& response) {
  const std::string where = request.host + ":" + std::to_string(request.port);
  if (response.ok()) {
    if (response.status < 400 && response.status != 0) return std::string();
    std::string answer = "the server answered " + std::to_string(response.status);
    if (!response.reason.empty()) answer += " " + response.reason;
    if (response.status == 401 || response.status == 403) {
      answer += request.user.empty() ? " (no user name was offered)"
                                     : " (it refused the user " + request.user + ")";
    }
    return answer;
  }
  if (response.too_slow)
    return "the transfer with " + where + " was too slow: " + response.error_text;
  switch (response.trouble) {
    case HttpTrouble::kRefused:
      return where + " refused the connection (no server listens there, or a firewall says no)";
    case HttpTrouble::kTimedOut:
      return "no answer from " + where + " in time (timed out)";
    case HttpTrouble::kNoHost:
      return "the host name " + request.host + " was not resolved (no such host)";
    case HttpTrouble::kTls:
      return "the TLS connection to " + where + " failed: " + response.error_text;
    case HttpTrouble::kBrokenOff:
      return "the connection to " + where + " broke off: " + response.error_text;
    case HttpTrouble::kNone:
      if (response.failed == HttpStage::kConnect) return "not sent: " + response.error_text;
      break;
    case HttpTrouble::kOther:
      break;
  }
  return "the exchange with " + where + " failed: " + response.error_text;
}

}  // namespace qnmuro
