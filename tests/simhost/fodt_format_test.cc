#include "simhost/fodt_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "sim_fixture.h"
#include "simhost/byte_base64.h"

namespace qnmuro::simhost {
namespace {

using SimFodtTest = SimHostTest;

TEST_F(SimFodtTest, SavedDocumentReopensIdentical) {
  Write("seal.png", TinyPng());
  std::u16string text =
      u"  两个空格开头\t制表  双空格 \r第二段🙂 & <x> \"q\"\v换行\r\r末段 ";
  text += char16_t{7};
  auto doc = NewDoc(text);
  auto& bm = doc->GetBookmarks();
  bm.Add(u"AtStart", 0, 0);
  bm.Add(u"Spanning", 3, 20);
  bm.Add(u"AtEnd", static_cast<long>(text.size()), static_cast<long>(text.size()));
  bm.Add(u"Empty_Par", 29, 29);
  app_->GetSelection()->SetRange(1, 1);
  auto pic = doc->GetShapes().AddPicture(u"seal.png", false, true, 12.5f, 300.25f, 126, 126);
  pic->SetName(u"Seal 2026-03-14 09:26:53");
  pic->ZOrder(host::kSendBehindText);
  doc->GetShapes().AddPicture(u"seal.png", false, true, 1, 2, 3, 4)->SetVisible(false);
  app_->SetUserName(u"审核人");
  doc->Protect(host::kAllowOnlyRevisions, u"wombat;pqlrxe");
  auto sel = app_->GetSelection();
  sel->SetRange(5, 5);
  sel->TypeText(u"插入");
  sel->SetRange(10, 25);  // deletes across a paragraph mark
  sel->Delete();
  doc->SetShowRevisions(false);
  doc->SaveAs(u"round.doc");

  std::u16string saved_text = TextOf(*doc);
  auto saved_revisions = app_->Revisions(*doc);
  auto saved_shapes = app_->ShapeInfos(*doc);
  std::vector<std::tuple<std::u16string, long, long>> saved_marks;
  for (long i = 1; i <= bm.Count(); ++i) {
    auto b = bm.Item(i);
    saved_marks.emplace_back(b->Name(), b->Start(), b->End());
  }
  doc->Close();

  auto again = app_->GetDocuments().Open(u"round.doc", true);
  EXPECT_EQ(TextOf(*again), saved_text);
  ASSERT_EQ(again->GetBookmarks().Count(), static_cast<long>(saved_marks.size()));
  for (long i = 1; i <= again->GetBookmarks().Count(); ++i) {
    auto b = again->GetBookmarks().Item(i);
    EXPECT_EQ(std::make_tuple(b->Name(), b->Start(), b->End()), saved_marks[i - 1]);
  }
  auto shapes = app_->ShapeInfos(*again);
  ASSERT_EQ(saved_shapes.size(), 2u);
  ASSERT_EQ(shapes.size(), saved_shapes.size());
  const auto shape = [](const auto& s) {
    return std::tie(s.name, s.page, s.left, s.top, s.width, s.height, s.visible, s.behind_text,
                    s.z_order);
  };
  for (size_t i = 0; i < shapes.size(); ++i) EXPECT_EQ(shape(shapes[i]), shape(saved_shapes[i]));
  auto revisions = app_->Revisions(*again);
  ASSERT_EQ(saved_revisions.size(), 2u);
  ASSERT_EQ(revisions.size(), saved_revisions.size());
  for (size_t i = 0; i < revisions.size(); ++i) {
    EXPECT_EQ(revisions[i].kind, saved_revisions[i].kind);
    EXPECT_EQ(revisions[i].text, saved_revisions[i].text);
    EXPECT_EQ(revisions[i].position, saved_revisions[i].position);
    EXPECT_EQ(revisions[i].author, u"审核人");
    EXPECT_EQ(revisions[i].time, saved_revisions[i].time);
  }
  EXPECT_EQ(again->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(again->TrackRevisions());
  EXPECT_FALSE(again->ShowRevisions());
  EXPECT_TRUE(again->PrintRevisions());
  EXPECT_TRUE(again->Saved());
  EXPECT_EQ(HostErrorOf([&] { again->Unprotect(u"wombat"); }), host::kWrongPassword);
  again->Unprotect(u"wombat;pqlrxe");
  // The picture's bytes came back too: a copy saved again is byte-identical.
  again->SaveAs(u"round2.doc");
  again->Close();
  auto a = app_->GetDocuments().Open(u"round2.doc", true);
  EXPECT_EQ(a->GetShapes().Count(), 2);
  std::string file = test_util::ReadBytes(dir_ / "round2.doc");
  std::string png = TinyPng();
  EXPECT_NE(file.find(EncodeBytesBase64({png.begin(), png.end()})), std::string::npos);
  EXPECT_EQ(file.find("wombat"), std::string::npos);  // the password is not stored
}

TEST_F(SimFodtTest, BadFilesAreRefusedCleanly) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty.fodt", ""},
      {"text.fodt", "just some text"},
      {"truncated.fodt", "<?xml version=\"1.0\"?><office:document xmlns:office="},
      {"other-root.fodt", "<config><common/></config>"},
      {"spreadsheet.fodt",
       "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body>"
       "<office:spreadsheet/></office:body></office:document>"},
      {"no-body.fodt",
       "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"/>"},
      {"bad-picture.fodt",
       "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\"><office:body>"
       "<office:text><draw:frame><draw:image><office:binary-data>@@@</office:binary-data>"
       "</draw:image></draw:frame></office:text></office:body></office:document>"},
      {"binary.fodt", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)},
  };
  for (const auto& c : cases) {
    Write(c.name, c.bytes);
    EXPECT_EQ(HostErrorOf([&] { app_->GetDocuments().Open(U16(c.name), true); }), host::kFileError)
        << c.name;
  }
  std::filesystem::create_directory(dir_ / "folder.fodt");
  EXPECT_EQ(HostErrorOf([&] { app_->GetDocuments().Open(u"folder.fodt", true); }),
            host::kFileError);
  EXPECT_EQ(HostErrorOf([&] { app_->GetDocuments().Open(u"missing.fodt", true); }),
            host::kFileError);
  EXPECT_EQ(app_->GetDocuments().Count(), 0);
}

TEST_F(SimFodtTest, FailedSaveKeepsTheOldFile) {
  auto doc = NewDoc(u"first");
  doc->SaveAs(u"keep.fodt");
  std::string before = test_util::ReadBytes(dir_ / "keep.fodt");
  EXPECT_EQ(HostErrorOf([&] { doc->SaveAs(u"no/such/folder/x.fodt"); }), host::kFileError);
  EXPECT_EQ(doc->FullName(), Path("keep.fodt"));
  EXPECT_EQ(test_util::ReadBytes(dir_ / "keep.fodt"), before);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(SimFodtTest, ReadsWhatOtherWritersPutAroundParagraphs) {
  Write("other.odt",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"\n"
        " xmlns:o2=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"\n"
        " office:mimetype=\"application/vnd.oasis.opendocument.text\">\n"
        " <office:body>\n  <office:text>\n"
        "   <o2:sequence-decls><o2:sequence-decl o2:name=\"Figure\"/></o2:sequence-decls>\n"
        "   <o2:h>  Title\n   here </o2:h>\n"
        "   <o2:list><o2:list-item><o2:p>item <o2:span>one</o2:span><o2:s o2:c=\"2\"/>x"
        "</o2:p></o2:list-item></o2:list>\n"
        "   <o2:p>a<o2:bookmark-start o2:name=\"Open\"/>b<o2:note><o2:p>note</o2:p></o2:note>"
        "</o2:p>\n"
        "  </office:text>\n </office:body>\n</office:document>\n");
  auto doc = app_->GetDocuments().Open(u"other.odt", true);
  EXPECT_EQ(TextOf(*doc), u"Title here \ritem one  x\rab");
  EXPECT_EQ(doc->GetBookmarks().Item(u"Open")->Start(), 25);  // never closed: collapsed
}

TEST_F(SimFodtTest, LibreOfficeConvertsASavedDocument) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "soffice is not installed; the conversion check needs LibreOffice";
  Write("seal.png", TinyPng());
  auto doc = NewDoc(u"正文\r第二段");
  doc->GetBookmarks().Add(u"Body", 0, 2);
  doc->GetShapes().AddPicture(u"seal.png", false, true, 10, 10, 50, 50);
  doc->Protect(host::kAllowOnlyRevisions, u"pw");
  app_->GetSelection()->TypeText(u"修改");
  doc->SaveAs(u"lo.fodt");
  std::string cmd = "cd '" + dir_.path().string() +
                    "' && soffice --headless --convert-to pdf lo.fodt >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "lo.pdf"));
}

TEST_F(SimFodtTest, DamagedFilesNeverEscapeAsAnythingButAHostError) {
  Write("seal.png", TinyPng());
  auto doc = NewDoc(u"甲乙\r  丙 丁\t戊");
  doc->GetBookmarks().Add(u"M", 1, 5);
  doc->Protect(host::kAllowOnlyRevisions, u"pw");
  doc->GetShapes().AddPicture(u"seal.png", false, true, 1, 2, 3, 4);
  app_->GetSelection()->SetRange(2, 4);
  app_->GetSelection()->TypeText(u"新");
  doc->SaveAs(u"good.fodt");
  const std::string good = test_util::ReadBytes(dir_ / "good.fodt");
  int parsed = 0, refused = 0;
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    std::string damaged = good;
    damaged[cut] = static_cast<char>(damaged[cut] ^ 0x5a);
    for (const std::string& bytes : {good.substr(0, cut), damaged}) {
      try {
        DocumentFile f = ParseFodt(bytes);
        TextStore store;  // whatever was read must load
        store.Load(f.text, f.bookmarks, {}, f.revisions);
        ++parsed;
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), host::kFileError);
        ++refused;
      }
    }
  }
  EXPECT_GT(parsed, 0);
  EXPECT_GT(refused, 0);
}

TEST(SimByteBase64Test, RoundTripAndRejects) {
  for (size_t n = 0; n < 9; ++n) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<uint8_t>(i * 97 + 250));
    std::string text = EncodeBytesBase64(bytes);
    EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(DecodeBytesBase64(text), bytes) << n;
  }
  EXPECT_EQ(EncodeBytesBase64({'M', 'a'}), "TWE=");
  EXPECT_EQ(DecodeBytesBase64("TW\nE=\r\n"), (std::vector<uint8_t>{'M', 'a'}));
  const char* bad[] = {"TWE", "T===", "TW=E", "TWE=TWE=", "TW!=", "====", "TWE=A"};
  for (const char* b : bad) EXPECT_FALSE(DecodeBytesBase64(b).has_value()) << b;
}

}  // namespace
}  // namespace qnmuro::simhost
