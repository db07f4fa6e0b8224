// The adapter over a word processor's object model, and the add-in loaded through it: the test
// plays the word processor with objects that answer by member name to the descriptions in
// their own type library (tests/com/fake_host.idl), raise events through connection points,
// and keep a journal of what was written to them.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "com/document_table.h"
#include "com/late_bound.h"
#include "com/late_bound_host.h"
#include "fake_host.h"
#include "host_object.h"
#include "platform/com_win.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

// The word processor with one plain document open (no workflow document handed over).
struct Host {
  std::vector<std::string> journal;
  HostObject app{"Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents,
                 &journal};
  HostObject doc{"Document", DIID_IDocument, &CLSID_Document, &DIID_DocumentEvents, &journal};
  HostObject documents{"Documents", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject bars{"CommandBars", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject bar{"CommandBar", DIID_IHostBar, nullptr, nullptr, &journal};
  HostObject controls{"Controls", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject button{"Button", DIID_IHostBar, nullptr, nullptr, &journal};
  HostObject marks{"Bookmarks", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject mark{"Bookmark", DIID_IHostSpan, nullptr, nullptr, &journal};
  HostObject span{"Range", DIID_IHostSpan, nullptr, nullptr, &journal};
  HostObject selection{"Selection", DIID_IHostSpan, nullptr, nullptr, &journal};

  Host() {
    app.SetObject(L"ActiveDocument", &doc);
    app.SetObject(L"Documents", &documents);
    app.SetObject(L"CommandBars", &bars);
    app.Set(L"UserName", Variant::String(u"Reader"));
    doc.Set(L"Name", Variant::String(u"plain.doc"));
    doc.Set(L"FullName", Variant::String(u"C:\\docs\\plain.doc"));
    for (const wchar_t* flag : {L"TrackRevisions", L"ShowRevisions", L"PrintRevisions"}) {
      doc.Set(flag, Variant::Bool(true));
    }
    documents.Set(L"Count", LongVariant(1));
    documents.On(L"Item", Returning(&doc));
    // The host raises an error for a bar it does not have.
    bars.On(L"Item", [](DISPPARAMS&, VARIANT*) { return DISP_E_BADINDEX; });
    bars.On(L"Add", Returning(&bar));
    bar.SetObject(L"Controls", &controls);
    controls.On(L"Add", Returning(&button));
    doc.SetObject(L"Bookmarks", &marks);
    doc.On(L"Range", [this](DISPPARAMS& args, VARIANT* result) {
      // Range(Start, End): the arguments arrive last first.
      journal.push_back("from " + std::to_string(V_I4(&args.rgvarg[1])) + " to " +
                        std::to_string(V_I4(&args.rgvarg[0])));
      return Returning(&span)(args, result);
    });
    marks.On(L"Exists", [](DISPPARAMS& args, VARIANT* result) {
      V_VT(result) = VT_BOOL;
      V_BOOL(result) =
          std::wstring(V_BSTR(&args.rgvarg[0])) == L"BodyStart" ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
    marks.On(L"Add", Returning(&mark));
    mark.SetObject(L"Range", &span);
    mark.On(L"Select", [](DISPPARAMS&, VARIANT*) { return S_OK; });
    app.SetObject(L"Selection", &selection);
    // MoveLeft(Unit, Count, Extend).
    selection.On(L"MoveLeft", [this](DISPPARAMS& args, VARIANT*) {
      journal.push_back("unit " + std::to_string(V_I4(&args.rgvarg[2])) + " count " +
                        std::to_string(V_I4(&args.rgvarg[1])));
      return S_OK;
    });
    span.Set(L"Text", Variant::String(u"Body"));
  }

  static HostObject::Method Returning(HostObject* object) {
    return [object](DISPPARAMS&, VARIANT* result) {
      if (result != nullptr) *result = ObjectArg(object);
      return S_OK;
    };
  }
};

// What the add-in's side sees of the events.
class Recorder final : public host::ApplicationEvents, public host::DocumentEvents {
 public:
  explicit Recorder(host::Application& app) : app_(app) {}
  void DocumentOpen(host::Document& document) override {
    // The document handed over is the host's own handle, as found among the open documents.
    const bool same =
        &document == app_.GetDocuments().Item(1).get() && &document == app_.ActiveDocument().get();
    seen.push_back("open " + Narrow(document.Name()) + (same ? " same" : " other"));
  }
  void DocumentBeforeSave(host::Document&, bool& save_as_ui, bool& cancel) override {
    seen.push_back(std::string("before save ") + (save_as_ui ? "as" : "in place"));
    cancel = true;
  }
  void Close() override { seen.push_back("close"); }

  std::vector<std::string> seen;

 private:
  host::Application& app_;
};

TEST(HostAdapterTest, MembersAndEventsReachTheHostByName) {
  EnsureInitialized();
  ASSERT_NE(HostLibrary(), nullptr);
  Host host;
  const auto app = LateBoundApplication(&host.app);
  Recorder recorder(*app);
  app->Subscribe(&recorder);
  host.app.Raise(4, {ObjectArg(&host.doc)});
  VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
  host.app.Raise(8, {ObjectArg(&host.doc), FlagArg(&save_as), FlagArg(&cancel)});
  EXPECT_EQ(cancel, VARIANT_TRUE);

  const auto doc = app->ActiveDocument();
  doc->Subscribe(&recorder);
  host.doc.Raise(6, {});
  doc->Unsubscribe(&recorder);
  app->Unsubscribe(&recorder);
  EXPECT_EQ(host.doc.Subscribed() + host.app.Subscribed(), 0u);
  EXPECT_EQ(recorder.seen,
            (std::vector<std::string>{"open plain.doc same", "before save in place", "close"}));

  // Reads and writes.
  host.journal.clear();
  EXPECT_EQ(doc->FullName(), u"C:\\docs\\plain.doc");
  EXPECT_TRUE(doc->TrackRevisions());
  doc->SetTrackRevisions(false);
  app->SetUserName(u"Writer");
  EXPECT_EQ(app->UserName(), u"Writer");
  EXPECT_EQ(app->GetCommandBars().Find(u"QNMuroBar"), nullptr);
  const auto bar = app->GetCommandBars().Add(u"QNMuroBar", host::kBarTop, false, true);
  const auto button = bar->GetControls().Add(host::kControlButton, 1, std::nullopt, true);
  button->SetCaption(u"Seal");
  host::Bookmarks& bookmarks = doc->GetBookmarks();
  EXPECT_TRUE(bookmarks.Exists(u"BodyStart"));
  EXPECT_FALSE(bookmarks.Exists(u"Other"));
  const auto body = bookmarks.Add(u"BodyStart", 3, 7);
  EXPECT_EQ(body->GetRange()->Text(), u"Body");
  body->Select();
  app->GetSelection()->MoveCharacters(-2);
  EXPECT_EQ(host.journal,
            (std::vector<std::string>{
                "Document.TrackRevisions=False", "Application.UserName=Writer",
                "CommandBars.Item()", "CommandBars.Add()", "Controls.Add()", "Button.Caption=Seal",
                "Bookmarks.Exists()", "Bookmarks.Exists()", "Document.Range()", "from 3 to 7",
                "Bookmarks.Add()", "Bookmark.Select()", "Selection.MoveLeft()", "unit 1 count 2"}));
  // A member the host's model lacks is the host's "object doesn't support" error.
  try {
    doc->Undo(1);
    FAIL() << "Undo reached a host without it";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kErrNotSupported);
  }
}

TEST(HostAdapterTest, TheDocumentTableKeepsEntriesOnlyForDocumentsHeld) {
  EnsureInitialized();
  ASSERT_NE(HostLibrary(), nullptr);
  std::vector<std::string> journal;
  HostObject kept{"Kept", DIID_IDocument, &CLSID_Document, &DIID_DocumentEvents, &journal};
  DocumentTable table(&LateBoundDocument);
  const auto held = table.For(&kept);
  // A hundred documents, each let go as soon as it is adapted (opened and closed in turn).
  std::vector<std::unique_ptr<HostObject>> closed;
  for (int i = 0; i < 100; ++i) {
    closed.push_back(std::make_unique<HostObject>("Closed", DIID_IDocument, &CLSID_Document,
                                                  &DIID_DocumentEvents, &journal));
    EXPECT_NE(table.For(closed.back().get()), held);
  }
  EXPECT_EQ(table.For(&kept), held);
  EXPECT_EQ(table.size(), 1u);
}

TEST(HostAdapterTest, TheRegisteredAddInPreparesAnOpenedDocument) {
  Ptr<IDispatch> addin = CreateFirst<IDispatch>({L"QNMuroWPS.WPSaddin"}, IID_IDispatch);
  ASSERT_TRUE(addin) << "QNMuroWPS.WPSaddin is not registered";
  Ptr<IDTExtensibility2> connection = addin.As<IDTExtensibility2>(IID_IDTExtensibility2);
  ASSERT_TRUE(connection);
  Host host;
  ASSERT_EQ(connection->OnConnection(&host.app, ext_cm_AfterStartup, nullptr, nullptr), S_OK);
  EXPECT_EQ(host.app.Subscribed(), 1u);
  // A document that is not the workflow document: its revision marks are switched off.
  host.app.Raise(4, {ObjectArg(&host.doc)});
  for (const wchar_t* flag : {L"TrackRevisions", L"ShowRevisions", L"PrintRevisions"}) {
    EXPECT_FALSE(host.doc.GetBool(flag)) << Narrow(flag);
  }
  VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
  host.app.Raise(8, {ObjectArg(&host.doc), FlagArg(&save_as), FlagArg(&cancel)});
  EXPECT_EQ(cancel, VARIANT_FALSE);  // not the add-in's document: its save goes ahead
  EXPECT_EQ(connection->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
  EXPECT_EQ(host.app.Subscribed(), 0u);
}

}  // namespace
}  // namespace qnmuro::com
