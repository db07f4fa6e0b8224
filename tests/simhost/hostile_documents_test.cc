// Hostile files against the simulated word processor: documents built to exhaust its stack,
// memory or time, pictures that never end, and links planted where it saves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "sim_fixture.h"
#include "simhost/fodt_format.h"

namespace qnmuro::simhost {
namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " office:mimetype=\"application/vnd.oasis.opendocument.text\">"
    "<office:body><office:text>";
constexpr char kTail[] = "</office:text></office:body></office:document>\n";

std::string Document(const std::string& body) {
  return kHead + body + kTail;
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

class HostileDocumentTest : public SimHostTest {
 protected:
  // Opens the file and returns the host error's description ("" when it opened).
  std::u16string OpenError(const std::string& name) {
    try {
      app_->GetDocuments().Open(U16(name), true)->Close();
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), host::kFileError) << U8(e.description());
      return e.description();
    }
    return u"";
  }
};

TEST_F(HostileDocumentTest, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  // 20,000 nested spans (about 460 KB) and as many nested sections.
  Write("spans.fodt", Document("<text:p>" + Repeat("<text:span>", 20000) + "x" +
                               Repeat("</text:span>", 20000) + "</text:p>"));
  Write("sections.fodt", Document(Repeat("<text:section>", 20000) + "<text:p>x</text:p>" +
                                  Repeat("</text:section>", 20000)));
  EXPECT_NE(OpenError("spans.fodt"), u"");
  EXPECT_NE(OpenError("sections.fodt"), u"");
  // Nesting as deep as real documents have still reads.
  Write("some.fodt", Document("<text:section><text:p>a" + Repeat("<text:span>", 100) + "b" +
                              Repeat("</text:span>", 100) + "c</text:p></text:section>"));
  auto doc = app_->GetDocuments().Open(u"some.fodt", true);
  EXPECT_EQ(TextOf(*doc), u"abc");
}

TEST_F(HostileDocumentTest, EntitiesAreNeverExpanded) {
  // The classic: ten levels of ten references, a few KB that would expand to gigabytes.
  std::string dtd = "<!DOCTYPE office:document [<!ENTITY l0 \"lollollollollollol\">";
  for (int i = 1; i <= 9; ++i) {
    dtd += "<!ENTITY l" + std::to_string(i) + " \"" +
           Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  dtd += "]>";
  std::string bomb = Document(
      "<text:p>&l9;</text:p><text:p><text:bookmark text:name=\"&l9;\"/>"
      "</text:p>");
  bomb.insert(bomb.find("<office:document"), dtd);
  Write("bomb.fodt", bomb);
  const auto start = std::chrono::steady_clock::now();
  const std::u16string error = OpenError("bomb.fodt");
  EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 2.0);
  if (error.empty()) {
    auto doc = app_->GetDocuments().Open(u"bomb.fodt", true);
    EXPECT_LT(TextOf(*doc).size(), 100u);
  }

  // A small entity is not expanded either: not in the text, not in an attribute.
  std::string small = Document(
      "<text:p>a&e;b<text:bookmark-start text:name=\"&e;\"/>c<text:bookmark-end "
      "text:name=\"&e;\"/></text:p>");
  small.insert(small.find("<office:document"),
               "<!DOCTYPE office:document [<!ENTITY e \"expanded\">]>");
  Write("small.fodt", small);
  auto doc = app_->GetDocuments().Open(u"small.fodt", true);
  EXPECT_EQ(TextOf(*doc), u"abc");
  EXPECT_EQ(doc->GetBookmarks().Count(), 0);
}

TEST_F(HostileDocumentTest, BlankRunsComeBackAsLongAsTheyWereWritten) {
  for (size_t blanks : {size_t{10000}, size_t{12345}, size_t{250000}}) {
    SCOPED_TRACE(blanks);
    auto doc = NewDoc(u"a" + std::u16string(blanks, u' ') + u"b");
    doc->SaveAs(u"blanks.fodt");
    doc->Close();
    auto again = app_->GetDocuments().Open(u"blanks.fodt", true);
    EXPECT_EQ(TextOf(*again), u"a" + std::u16string(blanks, u' ') + u"b");
    again->Close();
  }
}

TEST_F(HostileDocumentTest, TooMuchTextIsAClearHostError) {
  // 485 KB of runs that would make 200 million blanks; one run beyond any count.
  Write("runs.fodt",
        Document("<text:p>" + Repeat("<text:s text:c=\"10000\"/>", 20000) + "</text:p>"));
  Write("huge-run.fodt", Document("<text:p><text:s text:c=\"99999999999999999999\"/></text:p>"));
  // Text in the tracked deletions counts too.
  Write("deleted.fodt",
        Document("<text:tracked-changes><text:changed-region text:id=\"c1\"><text:deletion>"
                 "<text:p><text:s text:c=\"2000000\"/></text:p><text:p><text:s "
                 "text:c=\"2000000\"/></text:p></text:deletion></text:changed-region>"
                 "</text:tracked-changes><text:p>x<text:change text:change-id=\"c1\"/></text:p>"));
  for (const char* name : {"runs.fodt", "huge-run.fodt", "deleted.fodt"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(OpenError(name).find(u"too large"), std::u16string::npos);
  }
  EXPECT_EQ(app_->GetDocuments().Count(), 0);

  // Up to the bound a document opens; beyond it, it cannot be saved either, and the old file
  // stays as it was.
  Write("edge.fodt", Document("<text:p><text:s text:c=\"" + std::to_string(kMaxDocumentChars) +
                              "\"/></text:p>"));
  auto doc = app_->GetDocuments().Open(u"edge.fodt", true);
  EXPECT_EQ(TextOf(*doc).size(), kMaxDocumentChars);
  const std::string before = test_util::ReadBytes(dir_ / "edge.fodt");
  app_->GetSelection()->SetRange(0, 0);
  app_->GetSelection()->TypeText(u"x");
  try {
    doc->Save();
    ADD_FAILURE() << "saved beyond the bound";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), host::kFileError);
    EXPECT_NE(e.description().find(u"too large to save"), std::u16string::npos);
  }
  EXPECT_EQ(test_util::ReadBytes(dir_ / "edge.fodt"), before);
}

TEST_F(HostileDocumentTest, DatesPastTheClocksRangeAreTakenAtItsEdge) {
  Write(
      "dates.fodt",
      Document("<text:tracked-changes>"
               "<text:changed-region text:id=\"c1\"><text:insertion><office:change-info>"
               "<dc:creator>甲</dc:creator><dc:date>2300-01-01T00:00:00</dc:date>"
               "</office:change-info></text:insertion></text:changed-region>"
               "<text:changed-region text:id=\"c2\"><text:insertion><office:change-info>"
               "<dc:creator>乙</dc:creator><dc:date>99999999999-99-99T99:99:99</dc:date>"
               "</office:change-info></text:insertion></text:changed-region>"
               "<text:changed-region text:id=\"c3\"><text:insertion><office:change-info>"
               "<dc:creator>丙</dc:creator><dc:date>1600-01-01T00:00:00</dc:date>"
               "</office:change-info></text:insertion></text:changed-region>"
               "</text:tracked-changes><text:p>"
               "<text:change-start text:change-id=\"c1\"/>a<text:change-end text:change-id=\"c1\"/>"
               "<text:change-start text:change-id=\"c2\"/>b<text:change-end text:change-id=\"c2\"/>"
               "<text:change-start text:change-id=\"c3\"/>c<text:change-end text:change-id=\"c3\"/>"
               "</text:p>"));
  auto doc = app_->GetDocuments().Open(u"dates.fodt", true);
  const auto revisions = app_->Revisions(*doc);
  ASSERT_EQ(revisions.size(), 3u);
  EXPECT_EQ(revisions[0].time, LatestClockTime());
  EXPECT_EQ(revisions[1].time, LatestClockTime());
  EXPECT_EQ(revisions[2].time, EarliestClockTime());
  // Saved and read again, the edge stays the edge.
  doc->SaveAs(u"dates2.fodt");
  doc->Close();
  auto again = app_->GetDocuments().Open(u"dates2.fodt", true);
  EXPECT_EQ(app_->Revisions(*again)[0].time, LatestClockTime());
}

TEST_F(HostileDocumentTest, PicturesMustBeRegularFilesOfBoundedSize) {
  auto doc = NewDoc(u"正文");
  ASSERT_EQ(::mkfifo((dir_ / "pipe.png").c_str(), 0600), 0);
  for (const std::u16string& file : {std::u16string(u"/dev/zero"), Path("pipe.png")}) {
    SCOPED_TRACE(U8(file));
    EXPECT_EQ(HostErrorOf([&] { doc->GetShapes().AddPicture(file, false, true, 0, 0, 10, 10); }),
              host::kFileError);
  }
  // One byte over the bound: refused; at the bound: kept, saved and read back.
  std::string png = TinyPng();
  Write("big.png", png + std::string(kMaxPictureBytes + 1 - png.size(), '\0'));
  EXPECT_EQ(
      HostErrorOf([&] { doc->GetShapes().AddPicture(Path("big.png"), false, true, 0, 0, 10, 10); }),
      host::kBadPicture);
  Write("edge.png", png + std::string(kMaxPictureBytes - png.size(), '\0'));
  doc->GetShapes().AddPicture(Path("edge.png"), false, true, 0, 0, 10, 10);
  doc->SaveAs(u"picture.fodt");
  doc->Close();
  auto again = app_->GetDocuments().Open(u"picture.fodt", true);
  ASSERT_EQ(again->GetShapes().Count(), 1);
}

TEST_F(HostileDocumentTest, SavingNeverWritesThroughAPlantedLink) {
  auto doc = NewDoc(u"第一版");
  doc->SaveAs(u"d.fodt");
  Write("victim.txt", "precious");
  // The names a save used for its temporary file, planted as links to the victim.
  for (const char* planted : {"d.fodt.tmp~", "d.fodt.tmp", ".d.fodt.tmp"}) {
    fs::create_symlink(dir_ / "victim.txt", dir_ / planted);
  }
  app_->GetSelection()->TypeText(u"，第二版");
  doc->Save();
  EXPECT_EQ(test_util::ReadBytes(dir_ / "victim.txt"), "precious");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir_ / "d.fodt")));
  doc->Close();
  auto again = app_->GetDocuments().Open(u"d.fodt", true);
  EXPECT_EQ(TextOf(*again), u"第一版，第二版");
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "d.fodt" || name == "victim.txt" || fs::is_symlink(entry.symlink_status()))
        << name;  // no temporary file left behind
  }
}

}  // namespace
}  // namespace qnmuro::simhost
