#include "transfer/agent.h"

#include "base/error.h"
#include "base/text.h"
#include "common/url_operation.h"
#include "platform/http_client.h"
#include "platform/ui.h"
#include "platform/xml.h"
#include "transfer/url_request.h"

namespace qnmuro {
namespace {

// Agents answer small documents; anything beyond this is not an agent's reply.
constexpr size_t kMaxReply = 64u << 20;
constexpr size_t kReplyChunk = 64 * 1024;
constexpr int kArrowCursor = 32512;

std::u16string CallAgent(Context& ctx, const std::u16string& address,
                         const std::optional<std::u16string>& varData, bool blnReturnXML) {
  UrlOperation url;
  url.SetUrl(address);
  if (!HasUsableAddress(url)) throw Error(kErrInvalidCall, u"服务器地址无效：" + address);
  HttpClient* const client = ctx.agent_http != nullptr ? ctx.agent_http : ctx.http;
  if (client == nullptr) throw Error(kErrObjectNotSet, DefaultDescription(kErrObjectNotSet));
  // The session speaks for the user: no credentials of its own.
  RequestParty session;
  session.session_cookie = true;
  HttpRequest request = RequestForUrl(ctx, url, "POST", session);
  if (varData) {
    // A text body travels as UTF-8, as the request object sends text.
    request.body = Utf16ToUtf8(*varData);
    request.headers.emplace_back("Content-Type", "text/plain; charset=UTF-8");
  }
  std::string reply;
  auto sink = [&](int, const char* data, size_t size) {
    if (reply.size() + size > kMaxReply) return false;
    reply.append(data, size);
    return true;
  };
  const HttpResponse response = client->Send(request, sink, kReplyChunk);
  if (!response.ok()) {
    SetLastSystemError(response.error_code);
    throw Error(kErrCantPerform, Utf8ToUtf16(response.error_text));
  }
  XmlDocument doc;
  if (!doc.LoadText(reply)) {
    throw Error(kErrCantPerform, u"服务器返回的不是XML文档：" + doc.parse_error().reason);
  }
  return blnReturnXML ? doc.ToXml() : doc.DocumentElement().Text();
}

}  // namespace

std::u16string AgentErrorText(std::u16string_view strAgent, const Error& error) {
  return u"执行代理 " + std::u16string(strAgent) + u" 发生错误：" + error.description();
}

std::u16string ExecuteAgent(Context& ctx, std::u16string_view rootUrl, std::u16string_view strAgent,
                            std::u16string_view strPara,
                            const std::optional<std::u16string>& varData, bool blnReturnXML) {
  const std::u16string address = std::u16string(rootUrl) + u"/" + std::u16string(strAgent) +
                                 u"?OpenAgent" + std::u16string(strPara) + u"&Login&Seq=";
  // The pointer is a courtesy: failing to show or restore it never fails the call.
  int previous_cursor = kArrowCursor;
  IgnoreFailure([&] {
    if (ctx.ui == nullptr) return;
    previous_cursor = ctx.ui->CursorShape();
    ctx.ui->SetCursorShape(kAppStartingCursor);
  });
  std::u16string result;
  TrapFirstFailure([&] { result = CallAgent(ctx, address, varData, blnReturnXML); },
                   [&](const Error& error) { result = AgentErrorText(strAgent, error); });
  IgnoreFailure([&] {
    if (ctx.ui != nullptr) ctx.ui->SetCursorShape(previous_cursor);
  });
  return result;
}

}  // namespace qnmuro
