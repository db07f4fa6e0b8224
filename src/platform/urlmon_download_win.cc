// urlmon's URL download with a binding callback that keeps the client's rules: the request's
// own header lines, credentials only when the server asks, no redirect followed, no dialog,
// and the rate floor.
#include "platform/urlmon_download_win.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "platform/com_win.h"
#include "platform/http_wire.h"

namespace qnmuro {
namespace {

// How often the rate floor is checked while no byte arrives.
constexpr UINT kTimerMs = 200;

LPWSTR TaskString(std::u16string_view text) {
  auto* out = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (out == nullptr) return nullptr;
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = L'\0';
  return out;
}

std::u16string Wide(const wchar_t* text) {
  return text == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The binding's callback; lives on the caller's stack for one download.
class DownloadCallback final : public IBindStatusCallbackEx,
                               public IHttpNegotiate,
                               public IAuthenticate {
 public:
  DownloadCallback(const HttpRequest& request, const HttpClientOptions& options)
      : request_(request), floor_(options, RateFloor::Clock::now()) {}

  // IUnknown: the object is not heap-allocated; the count only answers its callers.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback || iid == IID_IBindStatusCallbackEx) {
      *out = static_cast<IBindStatusCallbackEx*>(this);
    } else if (iid == IID_IHttpNegotiate) {
      *out = static_cast<IHttpNegotiate*>(this);
    } else if (iid == IID_IAuthenticate) {
      *out = static_cast<IAuthenticate*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }

  // IBindStatusCallback.
  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    binding_ = com::Ptr<IBinding>(binding);
    if (binding != nullptr) binding->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG, ULONG status, LPCWSTR text) override {
    if (status == BINDSTATUS_REDIRECTING) {
      // The caller decides whether and how a redirect is followed, and with which cookie.
      location_ = ToAnsi(Wide(text));
      redirected_ = true;
      return E_ABORT;
    }
    if (status == BINDSTATUS_DOWNLOADINGDATA || status == BINDSTATUS_ENDDOWNLOADDATA) {
      received_ = ProgressPast32Bits(received_, progress);
    }
    return CheckRate() ? S_OK : E_ABORT;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override {
    binding_ = com::Ptr<IBinding>();
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_NO_UI |
             BINDF_SILENTOPERATION;
    // A redirect comes back as the answer it is (status and Location).
    if (info != nullptr && info->cbSize >= offsetof(BINDINFO, dwOptions) + sizeof(DWORD)) {
      info->dwOptions |= BINDINFO_OPTIONS_DISABLEAUTOREDIRECTS;
    }
    return S_OK;
  }
  STDMETHODIMP GetBindInfoEx(DWORD* flags, BINDINFO* info, DWORD* flags2, DWORD*) override {
    // The cookie store is left out both ways: the cookie goes as the request's header line.
    if (flags2 != nullptr) *flags2 |= BINDF2_DISABLEAUTOCOOKIEHANDLING;
    return GetBindInfo(flags, info);
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate.
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override {
    std::string lines = "User-Agent: " + request_.user_agent + "\r\n";
    if (!request_.cookie.empty()) lines += "Cookie: " + request_.cookie + "\r\n";
    for (const auto& [name, value] : request_.headers) lines += name + ": " + value + "\r\n";
    *extra = TaskString(FromAnsi(lines));
    return *extra != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP OnResponse(DWORD status, LPCWSTR headers, LPCWSTR, LPWSTR* extra) override {
    if (extra != nullptr) *extra = nullptr;
    status_ = static_cast<int>(status);
    headers_ = ToAnsi(Wide(headers));
    return S_OK;
  }

  // IAuthenticate: the credentials, only when the server asks and only when there are some.
  STDMETHODIMP Authenticate(HWND* window, LPWSTR* user, LPWSTR* password) override {
    *window = nullptr;
    *user = nullptr;
    *password = nullptr;
    if (request_.user.empty()) return E_ACCESSDENIED;
    *user = TaskString(FromAnsi(request_.user));
    *password = TaskString(FromAnsi(request_.password));
    return *user != nullptr && *password != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  // False (and the binding aborted) once the average rate over the window is too low.
  bool CheckRate() {
    if (too_slow_ || !floor_.TooSlow(received_, RateFloor::Clock::now())) return !too_slow_;
    too_slow_ = true;
    if (binding_) binding_->Abort();
    return false;
  }

  HttpResponse Outcome(HRESULT hr) const;

 private:
  const HttpRequest& request_;
  RateFloor floor_;
  ULONG refs_ = 1;
  com::Ptr<IBinding> binding_;
  uint64_t received_ = 0;
  bool too_slow_ = false;
  bool redirected_ = false;
  std::string location_;
  int status_ = 0;
  std::string headers_;  // the response's raw header lines, CR LF separated
};

HttpResponse DownloadCallback::Outcome(HRESULT hr) const {
  HttpResponse response;
  response.status = status_;
  AddHeaderLines(headers_, &response.headers);
  if (redirected_) {
    response.status = 302;
    response.headers.emplace_back("Location", location_);
    return response;
  }
  response.body_bytes = received_;
  if (SUCCEEDED(hr) && !too_slow_) {
    if (response.status == 0) response.status = 200;
    return response;
  }
  // An answer other than the resource is the server's, as Send() reports it.
  if (!too_slow_ && status_ != 0 && status_ != 200) return response;
  response.failed = received_ > 0 ? HttpStage::kReceive : HttpStage::kSend;
  response.error_code = static_cast<long>(hr);
  response.trouble = TroubleOfWindowsError(static_cast<unsigned long>(hr));
  response.error_text = "the URL download failed (HRESULT 0x" + [&] {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(hr));
    return std::string(hex);
  }() + ")";
  if (too_slow_) {
    response.too_slow = true;
    response.error_text = floor_.Explanation();
  }
  return response;
}

// The callback whose download runs on this thread, for the timer.
thread_local DownloadCallback* current = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (current != nullptr) current->CheckRate();
}

}  // namespace

uint64_t ProgressPast32Bits(uint64_t so_far, uint32_t reported) {
  constexpr uint64_t kWrap = uint64_t{1} << 32;
  const uint64_t high = so_far & ~(kWrap - 1);
  const uint32_t low = static_cast<uint32_t>(so_far);
  if (reported < low && low - reported > kWrap / 2) return high + kWrap + reported;
  return high + reported;
}

HttpResponse UrlmonDownload(const HttpRequest& request, const std::filesystem::path& path,
                            const HttpClientOptions& options) {
  HttpResponse refused;
  refused.failed = HttpStage::kConnect;
  refused.error_code = ERROR_INVALID_PARAMETER;
  if (!HasPlainAddress(request)) {
    refused.error_text = kNoUsableAddress;
    return refused;
  }
  if (!HeadersAreClean(request)) {
    refused.error_text = kControlInHeader;
    return refused;
  }
  // The A function takes the path in the ANSI code page: one it cannot carry would name
  // another file.
  const std::string file = ToAnsi(FromPath(path));
  if (FromAnsi(file) != FromPath(path)) {
    refused.error_text = "the file name cannot be written in the ANSI code page";
    return refused;
  }
  const std::string url = std::string(request.secure ? "https" : "http") + "://" + request.host +
                          ":" + std::to_string(request.port) + EncodeTarget(request.target);
  com::EnsureInitialized();
  DownloadCallback callback(request, options);
  DownloadCallback* const outer = current;
  current = &callback;
  // The download waits in a message loop: the timer's messages reach this thread meanwhile,
  // so a peer that sends nothing at all meets the rate floor too.
  const UINT_PTR timer = SetTimer(nullptr, 0, kTimerMs, OnTimer);
  const HRESULT hr = URLDownloadToFileA(nullptr, url.c_str(), file.c_str(), 0, &callback);
  if (timer != 0) KillTimer(nullptr, timer);
  current = outer;
  HttpResponse response = callback.Outcome(hr);
  // A connection closed before the announced length arrived is a broken transfer, not the end.
  const std::string length = response.Header("Content-Length");
  std::error_code ec;
  if (response.ok() && response.status == 200 && !length.empty() &&
      std::filesystem::file_size(path, ec) != std::strtoull(length.c_str(), nullptr, 10)) {
    response.failed = HttpStage::kReceive;
    response.error_text = "the body ended before its announced length";
  }
  return response;
}

}  // namespace qnmuro
