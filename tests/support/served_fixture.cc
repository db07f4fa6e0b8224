#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace fs = std::filesystem;

void ReplaceEvery(std::string& text, std::string_view from, std::string_view to) {
  size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  for (; at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

ServedAddinTest::ServedAddinTest() {
  fs::create_directories(dir_ / "server");
  OaServerOptions options;
  options.root = dir_ / "server";
  server_ = std::make_unique<OaServer>(options);
  std::string error;
  if (server_->Start("127.0.0.1", 0, &error) <= 0) ADD_FAILURE() << error;
}

ServedAddinTest::~ServedAddinTest() {
  server_->Stop();
}

void ServedAddinTest::Publish(std::string_view unid, std::string_view name,
                              const std::string& bytes) {
  WriteBytes(dir_ / "server" / "files" / fs::path(std::string(unid)) / fs::path(std::string(name)),
             bytes);
}

std::string ServedAddinTest::FileUrl(std::string_view unid, std::string_view name) const {
  return server_->BaseUrl() + "/oa/doc.nsf/0/" + std::string(unid) + "/$file/" + std::string(name);
}

void ServedAddinTest::WriteServedControl(std::u16string_view document_name, std::string_view action,
                                         std::string_view buttons,
                                         const std::function<void(std::string&)>& edit) {
  std::string xml = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  ReplaceEvery(xml, "<action>DraftDocument</action>",
               "<action>" + std::string(action) + "</action>");
  ReplaceEvery(xml,
               "<button>查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章</button>",
               "<button>" + std::string(buttons) + "</button>");
  ReplaceEvery(xml, "http://127.0.0.1:8080", server_->BaseUrl());
  if (edit) edit(xml);
  std::u16string base(document_name);
  base = base.substr(0, base.rfind(u'.'));
  WriteBytes(dir_.path() / ToPath(base + u".xml"), xml);
}

}  // namespace qnmuro::test_util
