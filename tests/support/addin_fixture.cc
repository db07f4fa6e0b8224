#include "support/addin_fixture.h"

#include "addin/key_caps.h"
#include "commands/toolbar.h"
#include "host/command_bars.h"

namespace qnmuro::test_util {
namespace fs = std::filesystem;

namespace {

void ReplaceOnce(std::string& text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

}  // namespace

DocumentLayout NoticeDocument() {
  // Positions: 红头文件 0-3, 标题行 5-7, 正文内容。 9-13, 签发人 15-17, 意见栏 19-21.
  DocumentLayout layout;
  layout.text = u"红头文件\r标题行\r正文内容。\r签发人\r意见栏\r";
  layout.bookmarks = {{u"标题", 5, 8},     {u"BodyStart", 9, 9},  {u"BodyEnd", 14, 14},
                      {u"签发人", 15, 18}, {u"领导意见", 19, 22}, {u"无此项", 0, 0}};
  layout.shapes = {u"DocMarkLine1"};
  return layout;
}

AddinTest::AddinTest() {
  ServiceOptions service_options;
  service_options.work_dir = WorkDir();
  service_options.registry_file = dir_ / "registry.reg";
  services_ = DefaultServices(service_options);
  auto clock = NewVirtualClock(FromLocalTime({2026, 12, 8, 9, 0, 0}));
  clock_ = clock.get();
  services_.clock = std::move(clock);
  services_.registry->CreateKey(kHkeyLocalMachine, kIdentityKey);
  hostkit::HostOptions options;
  options.ui = &ui_;
  options.clock = clock_;
  options.work_dir = WorkDir();
  options.user_name = u"原用户";
  options.user_initials = u"YY";
  app_ = simhost::NewSimApplication(options);
  ctx_ = ContextFor(services_, nullptr);
  ctx_.ui = &ui_;  // the test answers every box
  ctx_.shell = &shell_;
  addin_ = std::make_unique<WPSaddin>(ctx_);
  addin_->OnConnection(app_.get());
}

AddinTest::~AddinTest() {
  if (addin_) addin_->OnDisconnection();
  addin_.reset();
  app_.reset();
}

void AddinTest::Reconnect() {
  addin_->OnDisconnection();
  addin_ = std::make_unique<WPSaddin>(ctx_);
  addin_->OnConnection(app_.get());
}

void AddinTest::MakeDocument(std::u16string_view name, const DocumentLayout& layout) {
  const auto doc = app_->GetDocuments().Add();
  app_->GetSelection()->TypeText(layout.text);
  if (!layout.shapes.empty()) {
    const fs::path picture = dir_ / "docmarkline.bmp";
    const std::vector<uint8_t> bmp = KeyCapBitmap(u"");
    WriteBytes(picture, std::string(bmp.begin(), bmp.end()));
    app_->GetSelection()->SetRange(0, 0);
    for (const auto& shape : layout.shapes) {
      app_->AddPictureAtSelection(FromPath(picture), shape, 400, 4);
    }
  }
  for (const auto& b : layout.bookmarks) doc->GetBookmarks().Add(b.name, b.start, b.end);
  doc->SaveAs(PathOf(name));
  doc->Close();
}

void AddinTest::WriteControl(std::u16string_view document_name, std::string_view action,
                             std::string_view buttons) {
  WriteControl(document_name, action, buttons, nowhere_.url("/oa/doc.nsf/upload?OpenAgent"));
}

void AddinTest::WriteControl(std::u16string_view document_name, std::string_view action,
                             std::string_view buttons, std::string_view upload_url) {
  std::string xml = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  ReplaceOnce(xml, "<action>DraftDocument</action>",
              "<action>" + std::string(action) + "</action>");
  ReplaceOnce(xml,
              "<button>查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章</button>",
              "<button>" + std::string(buttons) + "</button>");
  ReplaceOnce(xml,
              "<uploadUrl>http://127.0.0.1:8080/oa/doc.nsf/upload?OpenAgent&amp;unid=6F2A</"
              "uploadUrl>",
              "<uploadUrl>" + std::string(upload_url) + "</uploadUrl>");
  std::u16string base(document_name);
  base = base.substr(0, base.rfind(u'.'));
  WriteBytes(dir_.path() / ToPath(base + u".xml"), xml);
}

std::string AddinTest::ExampleDataSource() const {
  return ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "notice.ds.xml");
}

void AddinTest::WriteDataSource(std::u16string_view document_name, const std::string& xml) {
  std::u16string base(document_name);
  base = base.substr(0, base.rfind(u'.'));
  WriteBytes(dir_.path() / ToPath(base + u".ds.xml"), xml);
}

void AddinTest::SetCurrentFileValue(std::u16string_view value) {
  services_.registry->SetValue(kHkeyLocalMachine, kIdentityKey, u"CurrentFile",
                               RegistryValue::String(std::u16string(value)));
}

std::u16string AddinTest::CurrentFileValue() {
  return GetCurrentFile(ctx_);
}

std::shared_ptr<host::Document> AddinTest::OpenWorkflow(std::u16string_view name) {
  SetCurrentFileValue(name);
  return Open(name);
}

std::shared_ptr<host::Document> AddinTest::Open(std::u16string_view name) {
  return app_->GetDocuments().Open(PathOf(name), true);
}

std::vector<UiRecord> AddinTest::Boxes() const {
  std::vector<UiRecord> out;
  for (const auto& r : ui_.records()) {
    if (r.kind == UiRecord::Kind::kMessage) out.push_back(r);
  }
  return out;
}

std::vector<std::u16string> AddinTest::ShownBoxes() const {
  std::vector<std::u16string> out;
  for (const auto& b : Boxes()) {
    out.push_back(u"[" + b.title + u"] " + Utf8ToUtf16(ToString(b.icon)) + u": " + b.text);
  }
  return out;
}

std::vector<std::u16string> AddinTest::Toolbar() {
  std::vector<std::u16string> out;
  const auto bar = app_->GetCommandBars().Find(kBarName);
  if (!bar) return out;
  host::Controls& controls = bar->GetControls();
  for (long i = 1; i <= controls.Count(); ++i) {
    const auto c = controls.Item(i);
    out.push_back(c->Caption() + u"[" + c->Face().label + u"]");
  }
  return out;
}

bool AddinTest::Tracked(host::Document& doc, std::u16string_view text) {
  for (const auto& r : app_->Revisions(doc)) {
    if (r.text.find(text) != std::u16string::npos) return true;
  }
  return false;
}

long AddinTest::Setting(std::u16string_view name) {
  for (const auto& [n, v] : app_->Settings()) {
    if (n == name) return v;
  }
  ADD_FAILURE() << "no setting " << U8(name);
  return -99;
}

bool AddinTest::OptionsItemEnabled() {
  return app_->GetCommandBars()
      .Find(kMenuBarName)
      ->GetControls()
      .Item(kToolsMenuCaption)
      ->GetControls()
      .Item(kOptionsItemCaption)
      ->Enabled();
}

}  // namespace qnmuro::test_util
