// Documents with macros in Writer: the office's own macro security decides whether they run,
// for a document the add-in opens as for one the clerk opens (headless: they do not).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "lohost/writer_host.h"
#include "platform/ui.h"
#include "simhost/sim_fixture.h"

namespace qnmuro::lohost {
namespace {

namespace fs = std::filesystem;

// A flat text document whose load event runs a Basic macro of its own that writes `marker`.
std::string DocumentWithLoadMacro(const fs::path& marker) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:ooo="http://openoffice.org/2004/office" xmlns:dom="http://www.w3.org/2001/xml-events"
 xmlns:script="urn:oasis:names:tc:opendocument:xmlns:script:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:scripts>
  <office:script script:language="ooo:Basic">
   <ooo:libraries><ooo:library-embedded ooo:name="Standard"><ooo:module ooo:name="Module1">
    <ooo:source-code>Sub Main
  Dim n As Integer
  n = FreeFile
  Open ")" +
         marker.string() +
         R"(" For Output As #n
  Print #n, "ran"
  Close #n
End Sub
</ooo:source-code></ooo:module></ooo:library-embedded></ooo:libraries>
  </office:script>
  <office:event-listeners>
   <script:event-listener script:language="ooo:script" script:event-name="dom:load"
    xlink:type="simple"
    xlink:href="vnd.sun.star.script:Standard.Module1.Main?language=Basic&amp;location=document"/>
  </office:event-listeners>
 </office:scripts>
 <office:body><office:text><text:p>Opened.</text:p></office:text></office:body>
</office:document>
)";
}

TEST(MacroSecurityTest, ADocumentsLoadMacroDoesNotRunWhenTheAddInOpensIt) {
  if (!WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  const test_util::TempDir dir;
  const fs::path marker = dir.path() / "macro-ran";
  test_util::WriteBytes(dir.path() / "macro.fodt", DocumentWithLoadMacro(marker));
  ScriptedUi ui;
  hostkit::HostOptions options;
  options.ui = &ui;
  options.work_dir = FromPath(dir.path());
  const std::unique_ptr<hostkit::ScriptHost> app = StartWriterHost(options, {});
  for (bool visible : {false, true}) {
    const std::shared_ptr<host::Document> doc =
        app->GetDocuments().Open(FromPath(dir.path() / "macro.fodt"), visible);
    EXPECT_EQ(doc->Content()->Text(), u"Opened.");
    doc->Close();
    EXPECT_FALSE(fs::exists(marker)) << (visible ? "visible" : "hidden");
  }
}

}  // namespace
}  // namespace qnmuro::lohost
