// What every HTTP client backend checks and writes the same way, whatever library carries the
// request: the host and header checks made before anything is sent, the request target as it
// goes on the request line, and the rate floor that ends a trickling transfer.
#ifndef QNMURO_PLATFORM_HTTP_WIRE_H_
#define QNMURO_PLATFORM_HTTP_WIRE_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/http_client.h"

namespace qnmuro {

// Why a request was refused before it was sent (HttpResponse::error_text).
inline constexpr char kNoUsableAddress[] = "no usable host or port";
inline constexpr char kControlInHeader[] = "a header value holds a control character";

// Letters, digits, '-', '.', '_' and a port in 1..65535: anything else in the host would let it
// change the URL's meaning.
bool HasPlainAddress(const HttpRequest& request);

// Whether `text` holds a control character (any byte under 0x20, DEL): CR and LF would end a
// header line and start one of the sender's choosing, and the others have no place there either.
bool HasControl(std::string_view text);

// Whether every text that becomes (part of) a header line is free of control characters (any
// byte under 0x20, DEL) and every header name of ':'. The password never appears as it is
// (Base64 or a digest hash), so it is not examined.
bool HeadersAreClean(const HttpRequest& request);

// The target as the request line carries it: controls, space and DEL percent-encoded, and a
// leading '/' when it has none.
std::string EncodeTarget(const std::string& target);

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// Adds the header of one line "Name: value" (the value without leading blanks) to `headers`;
// a line without ':' (a status line, the blank line) adds nothing.
void AddHeaderLine(std::string_view line, HttpHeaders* headers);

// Adds every header of `raw`, lines separated by CR LF, in order.
void AddHeaderLines(std::string_view raw, HttpHeaders* headers);

// The trouble a WinINet error code (12xxx), a Win32 error or an HRESULT carrying one, or a URL
// moniker's INET_E_ HRESULT stands for.
HttpTrouble TroubleOfWindowsError(unsigned long code);

// The slow-transfer check (HttpClientOptions::slow_window, slow_rate): fed with the bytes
// moved so far, it says when the average over the last window has stayed under the rate.
// Not thread-safe: one transfer, one caller at a time.
class RateFloor {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts the first window at `start`. Off (never too slow) when window or rate is 0.
  RateFloor(const HttpClientOptions& options, Clock::time_point start);

  bool active() const { return window_.count() > 0 && rate_ > 0; }
  // Records `moved` (all bytes so far, never less than before) at `now`; true once a whole
  // window has passed and the bytes moved in the last one average under the rate.
  bool TooSlow(uint64_t moved, Clock::time_point now);
  // The explanation a transfer ended by the check reports (HttpResponse::error_text).
  std::string Explanation() const;

 private:
  std::chrono::seconds window_;
  uint64_t rate_;
  std::deque<std::pair<Clock::time_point, uint64_t>> samples_;  // oldest first
};

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_HTTP_WIRE_H_
