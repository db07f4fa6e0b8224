// The agent's client on Windows: the platform's XML HTTP request object, one synchronous
// request per Send(). The request goes out as the other clients send it: the target as given,
// the user agent, the cookie and the headers as the request's own lines, the body as bytes.
#include <windows.h>
// After windows.h, whose types it uses.
#include <msxml2.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "platform/com_win.h"
#include "platform/http_client.h"
#include "platform/http_wire.h"
#include "platform/services_win.h"

namespace qnmuro {
namespace {

using com::Bstr;
using com::Ptr;
using com::Variant;

// IXMLHTTPRequest's interface ID, which the import libraries lack.
constexpr IID kIidXmlHttpRequest = {
    0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

std::string HresultText(const char* what, HRESULT hr) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(hr));
  return std::string(what) + " (HRESULT 0x" + hex + ")";
}

// Hands the body's bytes to the sink in chunks; false when the sink refused one.
bool Deliver(Variant& body, const HttpSink& sink, size_t max_chunk, HttpResponse* response) {
  VARIANT* v = body.get();
  if (v->vt != (VT_ARRAY | VT_UI1) || v->parray == nullptr) return true;
  LONG low = 0;
  LONG high = -1;
  SafeArrayGetLBound(v->parray, 1, &low);
  SafeArrayGetUBound(v->parray, 1, &high);
  const size_t size = high >= low ? static_cast<size_t>(high - low + 1) : 0;
  void* data = nullptr;
  if (size == 0 || FAILED(SafeArrayAccessData(v->parray, &data))) return true;
  bool accepted = true;
  const auto* bytes = static_cast<const char*>(data);
  for (size_t off = 0; off < size && accepted; off += max_chunk) {
    const size_t n = size - off < max_chunk ? size - off : max_chunk;
    accepted = !sink || sink(response->status, bytes + off, n);
    if (accepted) response->body_bytes += n;
  }
  SafeArrayUnaccessData(v->parray);
  return accepted;
}

class XmlHttpClient final : public HttpClient {
 public:
  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override;
};

HttpResponse XmlHttpClient::Send(const HttpRequest& request, const HttpSink& sink,
                                 size_t max_chunk) {
  HttpResponse response;
  const auto fail = [&](HttpStage stage, HRESULT code, std::string text) {
    response.failed = stage;
    response.error_code = static_cast<long>(code);
    response.error_text = std::move(text);
    response.trouble = TroubleOfWindowsError(static_cast<unsigned long>(code));
    return response;
  };
  if (!HasPlainAddress(request)) return fail(HttpStage::kConnect, E_INVALIDARG, kNoUsableAddress);
  if (!HeadersAreClean(request)) return fail(HttpStage::kConnect, E_INVALIDARG, kControlInHeader);
  Ptr<IXMLHTTPRequest> xhr =
      com::CreateFirst<IXMLHTTPRequest>({L"Microsoft.XMLHTTP"}, kIidXmlHttpRequest);
  if (!xhr) {
    return fail(HttpStage::kConnect, REGDB_E_CLASSNOTREG,
                "the XML HTTP request object cannot be created");
  }
  const std::string url = std::string(request.secure ? "https" : "http") + "://" + request.host +
                          ":" + std::to_string(request.port) + EncodeTarget(request.target);
  Variant synchronous = Variant::Bool(false);
  Variant none;
  HRESULT hr = xhr->open(Bstr(FromAnsi(request.method)).get(), Bstr(FromAnsi(url)).get(),
                         *synchronous.get(), *none.get(), *none.get());
  if (FAILED(hr)) return fail(HttpStage::kConnect, hr, HresultText("open failed", hr));
  auto header = [&](const std::string& name, const std::string& value) {
    return value.empty() || SUCCEEDED(xhr->setRequestHeader(Bstr(FromAnsi(name)).get(),
                                                            Bstr(FromAnsi(value)).get()));
  };
  bool headed = header("User-Agent", request.user_agent) && header("Cookie", request.cookie);
  for (const auto& [name, value] : request.headers) headed = headed && header(name, value);
  if (!headed) return fail(HttpStage::kConnect, E_INVALIDARG, "a header was refused");
  // Bytes, not text: a text body would be converted again on its way out.
  Variant body = request.body.empty() ? Variant() : Variant::Bytes(request.body);
  hr = xhr->send(*body.get());
  if (FAILED(hr)) return fail(HttpStage::kSend, hr, HresultText("send failed", hr));
  long status = 0;
  xhr->get_status(&status);
  response.status = static_cast<int>(status);
  Bstr phrase;
  if (SUCCEEDED(xhr->get_statusText(phrase.Out()))) response.reason = ToAnsi(phrase.Text());
  Bstr headers;
  if (SUCCEEDED(xhr->getAllResponseHeaders(headers.Out()))) {
    AddHeaderLines(ToAnsi(headers.Text()), &response.headers);
  }
  Variant reply;
  hr = xhr->get_responseBody(reply.get());
  if (FAILED(hr)) return fail(HttpStage::kReceive, hr, HresultText("no response body", hr));
  if (!Deliver(reply, sink, max_chunk == 0 ? 2048 : max_chunk, &response)) {
    return fail(HttpStage::kSink, E_ABORT, "the response sink refused a chunk");
  }
  return response;
}

}  // namespace

std::unique_ptr<HttpClient> NewXmlHttpClient() {
  return std::make_unique<XmlHttpClient>();
}

}  // namespace qnmuro
