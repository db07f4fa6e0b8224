// The upload reply and the agent reply: a server answering any bytes. The first input byte
// picks the status and which exchange runs; the rest is the reply body. Nothing but a
// documented failure comes back, and no empty or oversized reply passes for success.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/http_client.h"
#include "transfer/agent.h"
#include "transfer/http_operation.h"

namespace {

using namespace qnmuro;

// Answers every request with one status and body, as a server on the other end would.
class ReplyingClient final : public HttpClient {
 public:
  HttpResponse Send(const HttpRequest&, const HttpSink& sink, size_t max_chunk) override {
    HttpResponse response;
    response.status = status;
    for (size_t at = 0; at < reply.size(); at += max_chunk) {
      const size_t n = std::min(max_chunk, reply.size() - at);
      if (sink && !sink(status, reply.data() + at, n)) {
        response.failed = HttpStage::kSink;
        break;
      }
      response.body_bytes += n;
    }
    return response;
  }

  int status = 200;
  std::string reply;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto& fuzz = fuzz::FuzzContext::Get();
  static const auto document = fuzz::WriteScratch("notice.doc", "the document's bytes");
  static constexpr int kStatuses[] = {200, 200, 200, 302, 401, 500, 204, 0};
  ReplyingClient client;
  client.status = kStatuses[data[0] & 7];
  client.reply.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  Context ctx = fuzz.ctx;
  ctx.http = &client;

  if (data[0] & 8) {
    ExecuteAgent(ctx, u"http://127.0.0.1:8080/oa", u"echo", u"&id=7", std::u16string(u"hello"),
                 (data[0] & 16) != 0);
    return 0;
  }
  HttpOperation upload(ctx);
  upload.SetHttpUrl(
      u"http://127.0.0.1:8080/oa/save?OpenAgent&action=upload&unid=U1&method=replacecontent");
  upload.SetHttpUser(u"zhangsan");
  upload.SetHttpPassword(u"425D5031564D740B75");
  upload.SetDestFile(FromPath(document));
  if (data[0] & 16) upload.SetMaxReplySize(64);
  const bool uploaded = upload.UploadFileByStream();
  // An empty reply, or one over the limit, is never taken for success.
  if (uploaded && (client.reply.empty() || client.reply.size() > upload.MaxReplySize())) {
    __builtin_trap();
  }
  return 0;
}
