#include "transfer/agent.h"

#include "base/error.h"
#include "base/text.h"
#include "common/identity.h"
#include "platform/http_client.h"
#include "platform/ui.h"
#include "platform/xml.h"
#include "transfer/url_operation.h"

namespace qnmuro {
namespace {

// Agents answer small documents; anything beyond this is not an agent's reply.
constexpr size_t kMaxReply = 64u << 20;
constexpr int kArrowCursor = 32512;

std::u16string CallAgent(Context& ctx, const std::u16string& address,
                         const std::optional<std::u16string>& varData, bool blnReturnXML) {
  UrlOperation url;
  url.SetUrl(address);
  const std::u16string host = url.Host();
  const int32_t port = url.Port();
  if (Trim(host).empty() || port <= 0 || port > 65535) {
    throw Error(kErrInvalidCall, u"服务器地址无效：" + address);
  }
  if (ctx.http == nullptr) throw Error(kErrObjectNotSet, DefaultDescription(kErrObjectNotSet));
  HttpRequest request;
  request.method = "POST";
  request.secure = url.CheckSSLHttp();
  request.host = ToAnsi(host);
  request.port = port;
  request.target = ToAnsi(url.UrlObject());
  request.user_agent = "QNSoft";
  request.cookie = ToAnsi(GetSessionCookie(ctx));
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
  const HttpResponse response = ctx.http->Send(request, sink, 64 * 1024);
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

std::u16string ExecuteAgent(Context& ctx, std::u16string_view rootUrl, std::u16string_view strAgent,
                            std::u16string_view strPara,
                            const std::optional<std::u16string>& varData, bool blnReturnXML) {
  const std::u16string address = std::u16string(rootUrl) + u"/" + std::u16string(strAgent) +
                                 u"?OpenAgent" + std::u16string(strPara) + u"&Login&Seq=";
  int previous_cursor = kArrowCursor;
  try {
    if (ctx.ui != nullptr) {
      previous_cursor = ctx.ui->CursorShape();
      ctx.ui->SetCursorShape(kAppStartingCursor);
    }
  } catch (...) {
  }
  std::u16string result;
  try {
    result = CallAgent(ctx, address, varData, blnReturnXML);
  } catch (...) {
    const Error error = CurrentError();
    result = u"执行代理 " + std::u16string(strAgent) + u" 发生错误：" + error.description();
  }
  try {
    if (ctx.ui != nullptr) ctx.ui->SetCursorShape(previous_cursor);
  } catch (...) {
  }
  return result;
}

}  // namespace qnmuro
