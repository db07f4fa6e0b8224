// The "加盖印章" button and its dialog against the development OA server.
#include "commands/seal_stamp.h"

#include <gtest/gtest.h>

#include "addin/key_caps.h"
#include "simhost/fodt_format.h"
#include "simhost/sim_layout.h"
#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kButton[] = u"加盖印章";
constexpr char kExampleSeals[] =
    "<wordName name=\"公章\" unid=\"5EA1\">\n"
    "      <templateName>办公室公章</templateName>\n"
    "      <templateFile>office_seal.gif</templateFile>\n"
    "    </wordName>";

std::string Picture() {
  const std::vector<uint8_t> bmp = KeyCapBitmap(u"印");
  return std::string(bmp.begin(), bmp.end());
}

// A seal configuration entry.
std::string Entry(const std::string& unid, const std::string& names_and_files) {
  return "<wordName name=\"印章\" unid=\"" + unid + "\">" + names_and_files + "</wordName>";
}
std::string Seal(const std::string& name, const std::string& file) {
  return "<templateName>" + name + "</templateName><templateFile>" + file + "</templateFile>";
}

// Forty short paragraphs, the bookmark "Seal" on the second page.
DocumentLayout LongDocument(bool with_seal_bookmark) {
  DocumentLayout layout;
  for (int i = 0; i < 40; ++i) layout.text += u"段落" + Utf8ToUtf16(std::to_string(10 + i)) + u"\r";
  if (with_seal_bookmark) layout.bookmarks = {{u"Seal", 37 * 5 + 1, 37 * 5 + 3}};
  return layout;
}

class SealStampTest : public ServedAddinTest {
 protected:
  std::shared_ptr<host::Document> OpenWithSeals(const DocumentLayout& layout,
                                                const std::string& entries) {
    MakeDocument(u"notice.doc", layout);
    WriteServedControl(u"notice.doc", "DraftDocument", "加盖印章",
                       [&](std::string& xml) { ReplaceEvery(xml, kExampleSeals, entries); });
    return OpenWorkflow(u"notice.doc");
  }
  void Stamp(const std::u16string& seal) {
    ui_.QueueFormAnswer(FormAnswer{seal, std::nullopt, false});
    ASSERT_TRUE(app_->Click(kButton));
  }
  std::vector<hostkit::ShapeInfo> Seals() {
    std::vector<hostkit::ShapeInfo> out;
    for (const auto& s : app_->ShapeInfos(*app_->ActiveDocument())) {
      if (s.name.starts_with(u"Seal")) out.push_back(s);
    }
    return out;
  }
  // Where the span is shown, in points from the origin of its page.
  host::PagePoint Shown(long start, long end) {
    const std::u16string text = app_->ActiveDocument()->Content()->Text();
    const host::DocumentRect at = simhost::SpanRect(text, start, end);
    const host::PagePoint page = simhost::PageOriginOf(simhost::PageOf(text, start));
    return {at.left - page.left, at.top - page.top};
  }
};

TEST_F(SealStampTest, StampingTwiceLeavesOneSealWhereTheSealBookmarkIsShown) {
  Publish("5EA1", "office_seal.bmp", Picture());
  OpenWithSeals(LongDocument(true), Entry("5EA1", Seal("办公室公章", "office_seal.bmp")));
  Stamp(u"办公室公章");
  clock_->Advance(std::chrono::minutes(1));
  Stamp(u"办公室公章");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ReadBytes(dir_ / "6F2A.office_seal.bmp"), Picture());
  const auto seals = Seals();
  ASSERT_EQ(seals.size(), 1u);
  EXPECT_EQ(seals[0].name, u"Seal2026-12-08 09:01:00");
  EXPECT_EQ(seals[0].page, 2);
  const host::PagePoint shown = Shown(37 * 5 + 1, 37 * 5 + 3);
  EXPECT_NEAR(seals[0].left, shown.left, 0.5);
  EXPECT_NEAR(seals[0].top, shown.top, 0.5);
  EXPECT_EQ(seals[0].width, 126);
  EXPECT_EQ(seals[0].height, 126);
  EXPECT_TRUE(seals[0].behind_text);
}

TEST_F(SealStampTest, WithoutTheBookmarkTheSealGoesToTheSelectionReplacingOnlyTheFirstSeal) {
  Publish("5EA1", "office_seal.bmp", Picture());
  OpenWithSeals(LongDocument(false), Entry("5EA1", Seal("办公室公章", "office_seal.bmp")));
  WriteBytes(dir_ / "old.bmp", Picture());
  app_->AddPictureAtSelection(u"old.bmp", u"Seal old 1", 50, 50);
  app_->AddPictureAtSelection(u"old.bmp", u"Seal old 2", 50, 50);
  app_->GetSelection()->SetRange(12, 12);
  Stamp(u"办公室公章");
  const auto seals = Seals();
  ASSERT_EQ(seals.size(), 2u);
  EXPECT_EQ(seals[0].name, u"Seal old 2");
  EXPECT_EQ(seals[1].name, u"Seal2026-12-08 09:00:00");
  const host::PagePoint shown = Shown(12, 12);
  EXPECT_NEAR(seals[1].left, shown.left, 0.5);
  EXPECT_NEAR(seals[1].top, shown.top, 0.5);
}

TEST_F(SealStampTest, TheDialogOffersNamesUpToAnEntryWithoutUnidAndTheLastEntryOfANameWins) {
  Publish("5EA1", "a.bmp", "not this one");
  Publish("7C", "b.bmp", Picture());
  OpenWithSeals(LongDocument(false),
                Entry("5EA1", Seal("办公室公章", "a.bmp")) +
                    Entry("5EA2", "") +  // no names: offers nothing
                    Entry("7C", Seal("财务章", "c.bmp") + Seal("办公室公章", "b.bmp")) +
                    Entry("", Seal("隐藏章", "h.bmp")) + Entry("9D", Seal("后章", "z.bmp")));
  ChangeSealForm form(addin_->context());
  form.form().Load();
  EXPECT_EQ(form.form().Find(u"SealComboBox")->items(),
            (std::vector<std::u16string>{u"办公室公章", u"财务章", u"办公室公章"}));

  Stamp(u"办公室公章");
  EXPECT_EQ(ReadBytes(dir_ / "6F2A.b.bmp"), Picture());
  EXPECT_EQ(Seals().size(), 1u);
  // A name no entry lists, and Cancel: nothing changes.
  for (const FormAnswer& answer :
       {FormAnswer{u"不存在", std::nullopt, false}, FormAnswer{std::nullopt, std::nullopt, true}}) {
    ui_.ClearRecords();
    ui_.QueueFormAnswer(answer);
    ASSERT_TRUE(app_->Click(kButton));
    EXPECT_EQ(ShownBoxes(), answer.cancel ? std::vector<std::u16string>{}
                                          : std::vector<std::u16string>{u"[] none: 请选择印章！"});
    EXPECT_EQ(Seals().size(), 1u);
  }
}

TEST_F(SealStampTest, BadSealsAreReportedAndTheEarlierSealStays) {
  const struct {
    const char* label;
    std::string file;
    std::string served;
    std::u16string report;
    uint64_t picture_limit = 0;  // 0: the host's
  } cases[] = {
      {"not a picture", "seal.bmp", "<html>error</html>", u"[] none: 盖印错误: The file is not a"},
      {"not on the server", "missing.bmp", "", u"[] none: 选择印章.OK_Click:无法通过"},
      {"a name outside the work directory", "../../../evil.bmp", Picture(),
       u"[] none: 选择印章.OK_Click:本地文件不在工作目录中："},
      {"a name through a link", "/../link/evil.bmp", Picture(),
       u"[] none: 选择印章.OK_Click:本地文件不在工作目录中："},
      {"a name onto the open document", "x/../notice.doc", Picture(),
       u"[] none: 选择印章.OK_Click:本地文件不在工作目录中："},
      {"a picture over the limit", "seal.bmp", Picture(),
       u"[] none: 选择印章.OK_Click:无法通过UrlDownloadToFile下载文件从：", 100},
  };
  // The host's own bounds are the defaults.
  EXPECT_EQ(ctx_.download_limits.picture, hostkit::kMaxPictureBytes);
  EXPECT_EQ(ctx_.download_limits.file, simhost::kMaxDocumentFileBytes);
  fs::create_directory_symlink(dir_.path().parent_path(), dir_ / "link");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ctx_.download_limits.picture =
        c.picture_limit != 0 ? c.picture_limit : hostkit::kMaxPictureBytes;
    Reconnect();
    fs::remove_all(dir_ / "server" / "files");
    if (!c.served.empty()) Publish("5EA1", "seal.bmp", c.served);
    const auto doc = OpenWithSeals(LongDocument(false), Entry("5EA1", Seal("公章", c.file)));
    WriteBytes(dir_ / "old.bmp", Picture());
    app_->AddPictureAtSelection(u"old.bmp", u"Seal earlier", 50, 50);
    const std::string document = ReadBytes(dir_ / "notice.doc");
    ui_.ClearRecords();
    Stamp(u"公章");
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(c.report, 0), 0u) << U8(boxes[0]);
    if (c.picture_limit != 0) {
      EXPECT_NE(boxes[0].find(u"下载的内容超过100字节，已中止"), std::u16string::npos);
    }
    ASSERT_EQ(Seals().size(), 1u);
    EXPECT_EQ(Seals()[0].name, u"Seal earlier");
    EXPECT_FALSE(fs::exists(dir_.path().parent_path() / "evil.bmp"));
    EXPECT_EQ(ReadBytes(dir_ / "notice.doc"), document);
    doc->SetSaved(true);
    doc->Close();
  }
}

}  // namespace
}  // namespace qnmuro::test_util
