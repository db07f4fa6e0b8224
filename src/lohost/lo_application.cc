// The Writer application: documents, the active one, the user's name, macros, the command
// bars and the host's own menus, and starting Writer for a run.
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "base/text.h"
#include "host/command_bars.h"
#include "lohost/lo_model.h"
#include "lohost/writer_process.h"

namespace qnmuro::lohost {

using css::uno::Any;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr char kProfileNode[] = "/org.openoffice.UserProfile/Data";
// The module of the application's Standard library that holds the macros a script defines.
constexpr char16_t kScriptModule[] = u"QNMuroScript";

Reference<css::beans::XPropertySet> UserProfile(const Reference<css::uno::XComponentContext>& ctx) {
  const Reference<css::lang::XMultiServiceFactory> provider =
      css::configuration::theDefaultProvider::get(ctx);
  const Any args(css::beans::NamedValue(Ascii("nodepath"), Any(Ascii(kProfileNode))));
  return Reference<css::beans::XPropertySet>(
      provider->createInstanceWithArguments(
          Ascii("com.sun.star.configuration.ConfigurationUpdateAccess"), Sequence<Any>(&args, 1)),
      UNO_QUERY_THROW);
}

std::u16string ProfileValue(const Reference<css::uno::XComponentContext>& ctx, const char* name) {
  OUString value;
  UserProfile(ctx)->getPropertyValue(Ascii(name)) >>= value;
  return U16(value);
}

void SetProfileValues(const Reference<css::uno::XComponentContext>& ctx,
                      std::initializer_list<std::pair<const char*, std::u16string_view>> values) {
  const Reference<css::beans::XPropertySet> profile = UserProfile(ctx);
  for (const auto& [name, value] : values) profile->setPropertyValue(Ascii(name), Any(Ou(value)));
  Reference<css::util::XChangesBatch>(profile, UNO_QUERY_THROW)->commitChanges();
}

// "Library.Module.Name" of a Basic macro called `name` in a library container, or empty.
std::u16string FindBasicMacro(const Reference<css::script::XLibraryContainer>& libraries,
                              std::u16string_view name) {
  if (!libraries.is()) return {};
  const std::wregex sub(
      L"^[ \\t]*(sub|function)[ \\t]+" + std::wstring(name.begin(), name.end()) + L"\\b",
      std::regex::icase | std::regex::multiline);
  for (const OUString& library : libraries->getElementNames()) {
    if (!libraries->isLibraryLoaded(library)) libraries->loadLibrary(library);
    Reference<css::container::XNameAccess> modules(libraries->getByName(library), UNO_QUERY);
    if (!modules.is()) continue;
    for (const OUString& module : modules->getElementNames()) {
      OUString source;
      modules->getByName(module) >>= source;
      const std::u16string text = U16(source);
      if (std::regex_search(std::wstring(text.begin(), text.end()), sub)) {
        return U16(library) + u"." + U16(module) + u"." + std::u16string(name);
      }
    }
  }
  return {};
}

}  // namespace

// ---- documents

long LoDocuments::Count() {
  return static_cast<long>(app_->GetDocumentList().size());
}

std::shared_ptr<host::Document> LoDocuments::Item(long index) {
  const auto& docs = app_->GetDocumentList();
  if (index < 1 || index > static_cast<long>(docs.size())) {
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  }
  return docs[index - 1];
}

std::shared_ptr<host::Document> LoDocuments::Open(std::u16string_view path, bool visible) {
  return app_->Load(path, visible);
}

std::shared_ptr<host::Document> LoDocuments::Add() {
  return app_->NewDocument();
}

// ---- the application

LoApplication::LoApplication(Reference<css::uno::XComponentContext> context,
                             const hostkit::HostOptions& options)
    : context_(std::move(context)),
      ui_(options.ui),
      work_dir_(options.work_dir),
      selection_(std::make_shared<LoSelection>(this)),
      documents_(this) {
  BuildMenuBar();
}

LoApplication::~LoApplication() {
  StopListening();
  for (const std::shared_ptr<LoDocument>& doc : std::vector<std::shared_ptr<LoDocument>>(docs_)) {
    doc->Dispose();
  }
  docs_.clear();
  clipboard_.clear();
  context_.clear();
  process_.reset();
}

void LoApplication::BuildMenuBar() {
  auto menu = bars_.AddBuiltIn(kMenuBarName);
  auto file = menu->controls().AddBuiltIn(host::kControlPopup, u"文件(&F)", nullptr);
  file->popup()->AddBuiltIn(host::kControlButton, u"保存(&S)",
                            [this] { ActiveDocument()->Save(); });
  file->popup()->AddBuiltIn(host::kControlButton, u"关闭(&C)",
                            [this] { ActiveDocument()->Close(); });
  auto insert = menu->controls().AddBuiltIn(host::kControlPopup, kInsertMenuCaption, nullptr);
  insert->popup()->AddBuiltIn(host::kControlButton, kInsertFileItemCaption, [this] {
    ActiveDocument();  // no document, no dialog
    const std::optional<std::u16string> path = Ui().PickFile(u"插入文件");
    if (path) selection_->InsertFile(*path);
  });
  auto tools = menu->controls().AddBuiltIn(host::kControlPopup, kToolsMenuCaption, nullptr);
  tools->popup()->AddBuiltIn(host::kControlButton, kOptionsItemCaption, [] {});
}

std::u16string LoApplication::ResolvePath(std::u16string_view path) const {
  const std::filesystem::path p = ToPath(path);
  if (p.is_absolute() || work_dir_.empty()) return std::u16string(path);
  return FromPath(ToPath(work_dir_) / p);
}

std::shared_ptr<LoDocument> LoApplication::Active() {
  std::shared_ptr<LoDocument> doc = active_.lock();
  if (doc != nullptr && !doc->closed()) return doc;
  return docs_.empty() ? nullptr : docs_.back();
}

std::shared_ptr<host::Document> LoApplication::ActiveDocument() {
  std::shared_ptr<LoDocument> doc = Active();
  if (doc == nullptr)
    ThrowHost(host::kNoDocument, u"This command is not available because no document is open.");
  return doc;
}

std::shared_ptr<host::Window> LoApplication::ActiveWindow() {
  std::shared_ptr<LoDocument> doc = Active();
  if (doc == nullptr)
    ThrowHost(host::kNoDocument, u"This command is not available because no document is open.");
  return std::make_shared<LoWindow>(this, doc);
}

void LoApplication::MakeActive(LoDocument& doc) {
  active_ = doc.shared_from_this();
}

std::shared_ptr<LoDocument> LoApplication::Load(std::u16string_view path, bool visible) {
  const std::u16string full = ResolvePath(path);
  for (const std::shared_ptr<LoDocument>& doc : docs_) {
    if (doc->FullName() == full) return doc;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(ToPath(full), ec)) {
    ThrowHost(host::kFileError, u"The file could not be found or opened: " + full);
  }
  ++loading_;
  const Reference<css::text::XTextDocument> model = Uno([&] {
    struct Done {
      int& n;
      ~Done() { --n; }
    } done{loading_};
    const Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(context_);
    Reference<css::text::XTextDocument> text(
        desktop->loadComponentFromURL(
            FileUrl(full), Ascii("_blank"), 0,
            // The office's own macro security decides, as for a document the clerk opens:
            // headless that means no document macro runs unless its location is trusted.
            Props({{"Hidden", Any(!visible)},
                   {"MacroExecutionMode", Any(css::document::MacroExecMode::USE_CONFIG)}})),
        UNO_QUERY);
    return text;
  });
  if (!model.is())
    ThrowHost(host::kFileError, u"The file is not a text document Writer opens: " + full);
  auto doc = std::make_shared<LoDocument>(this, model, full, true);
  docs_.push_back(doc);
  if (listening()) Watch(*doc);
  if (visible) MakeActive(*doc);
  for (host::ApplicationEvents* s : std::vector<host::ApplicationEvents*>(subscribers_))
    s->DocumentOpen(*doc);
  return doc;
}

std::shared_ptr<LoDocument> LoApplication::NewDocument() {
  const Reference<css::text::XTextDocument> model = Uno([&] {
    const Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(context_);
    return Reference<css::text::XTextDocument>(
        desktop->loadComponentFromURL(Ascii("private:factory/swriter"), Ascii("_blank"), 0, {}),
        UNO_QUERY_THROW);
  });
  auto doc = std::make_shared<LoDocument>(
      this, model, u"Document" + ToText(static_cast<long long>(next_new_number_++)), false);
  docs_.push_back(doc);
  MakeActive(*doc);
  return doc;
}

void LoApplication::BeforeSave(LoDocument& doc, bool& save_as_ui, bool& cancel) {
  for (host::ApplicationEvents* s : std::vector<host::ApplicationEvents*>(subscribers_)) {
    s->DocumentBeforeSave(doc, save_as_ui, cancel);
  }
}

void LoApplication::DocumentClosed(LoDocument& doc) {
  docs_.erase(std::remove_if(docs_.begin(), docs_.end(),
                             [&](const std::shared_ptr<LoDocument>& d) { return d.get() == &doc; }),
              docs_.end());
}

std::u16string LoApplication::UserName() {
  return Uno([&] {
    const std::u16string given = ProfileValue(context_, "givenname");
    const std::u16string family = ProfileValue(context_, "sn");
    return family.empty() ? given : given.empty() ? family : given + u" " + family;
  });
}

void LoApplication::SetUserName(std::u16string_view name) {
  // Writer names the author of tracked changes after the profile's given and family names.
  Uno([&] { SetProfileValues(context_, {{"givenname", name}, {"sn", u""}}); });
}

std::u16string LoApplication::UserInitials() {
  return Uno([&] { return ProfileValue(context_, "initials"); });
}

void LoApplication::SetUserInitials(std::u16string_view initials) {
  Uno([&] { SetProfileValues(context_, {{"initials", initials}}); });
}

void LoApplication::Run(std::u16string_view macro) {
  Uno([&] {
    std::u16string found;
    std::u16string location;
    if (std::shared_ptr<LoDocument> doc = Active(); doc != nullptr) {
      Reference<css::document::XEmbeddedScripts> scripts(doc->model(), UNO_QUERY);
      if (scripts.is()) {
        found = FindBasicMacro(
            Reference<css::script::XLibraryContainer>(scripts->getBasicLibraries(), UNO_QUERY),
            macro);
        location = u"document";
      }
    }
    if (found.empty()) {
      Reference<css::script::XLibraryContainer> libraries(
          context_->getServiceManager()->createInstanceWithContext(
              Ascii("com.sun.star.script.ApplicationScriptLibraryContainer"), context_),
          UNO_QUERY);
      found = FindBasicMacro(libraries, macro);
      location = u"application";
    }
    if (found.empty())
      ThrowHost(host::kNoSuchMacro, u"The macro does not exist: " + std::u16string(macro));
    Reference<css::script::provider::XScriptProvider> provider;
    if (location == u"document") {
      provider = Reference<css::script::provider::XScriptProviderSupplier>(Active()->model(),
                                                                           UNO_QUERY_THROW)
                     ->getScriptProvider();
    } else {
      provider = css::script::provider::theMasterScriptProviderFactory::get(context_)
                     ->createScriptProvider(Any(OUString()));
    }
    const OUString uri =
        Ou(u"vnd.sun.star.script:" + found + u"?language=Basic&location=" + location);
    Sequence<sal_Int16> out_index;
    Sequence<Any> out;
    provider->getScript(uri)->invoke({}, out_index, out);
  });
  if (auto body = macros_.find(std::u16string(macro)); body != macros_.end() && body->second)
    body->second();
}

void LoApplication::DefineMacro(std::u16string_view name, std::function<void()> body) {
  macros_[std::u16string(name)] = std::move(body);
  // A real Basic macro of that name in the application's Standard library, so that Run goes
  // through Writer's own script provider.
  std::u16string source;
  for (const auto& [macro, unused] : macros_) source += u"Sub " + macro + u"\nEnd Sub\n";
  Uno([&] {
    Reference<css::script::XLibraryContainer> libraries(
        context_->getServiceManager()->createInstanceWithContext(
            Ascii("com.sun.star.script.ApplicationScriptLibraryContainer"), context_),
        UNO_QUERY_THROW);
    if (!libraries->hasByName(Ascii("Standard"))) libraries->createLibrary(Ascii("Standard"));
    if (!libraries->isLibraryLoaded(Ascii("Standard"))) libraries->loadLibrary(Ascii("Standard"));
    Reference<css::container::XNameContainer> modules(libraries->getByName(Ascii("Standard")),
                                                      UNO_QUERY_THROW);
    if (modules->hasByName(Ou(kScriptModule))) {
      modules->replaceByName(Ou(kScriptModule), Any(Ou(source)));
    } else {
      modules->insertByName(Ou(kScriptModule), Any(Ou(source)));
    }
  });
}

std::vector<std::u16string> LoApplication::MacroNames() {
  std::vector<std::u16string> names;
  for (const auto& [name, unused] : macros_) names.push_back(name);
  return names;
}

std::shared_ptr<host::Document> LoApplication::ActivateByName(std::u16string_view name) {
  for (const std::shared_ptr<LoDocument>& doc : docs_) {
    if (doc->Name() == name) {
      doc->Activate();
      return doc;
    }
  }
  ThrowHost(host::kNoSuchMember, u"No open document is called " + std::u16string(name));
}

bool LoApplication::Click(std::u16string_view caption) {
  bool enabled = false;
  auto control = bars_.FindControl(caption, &enabled);
  if (!control)
    ThrowHost(host::kNoSuchMember, u"No command bar has a button " + std::u16string(caption));
  if (!enabled) return false;
  control->Execute();
  return true;
}

void LoApplication::Quit() {
  for (const std::shared_ptr<LoDocument>& doc : std::vector<std::shared_ptr<LoDocument>>(docs_))
    doc->Close();
  bars_.DropTemporary();
}

void LoApplication::Subscribe(host::ApplicationEvents* events) {
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end()) {
    subscribers_.push_back(events);
  }
}

void LoApplication::Unsubscribe(host::ApplicationEvents* events) {
  subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), events),
                     subscribers_.end());
}

std::vector<hostkit::RevisionInfo> LoApplication::Revisions(host::Document& document) {
  LoDocument* doc = dynamic_cast<LoDocument*>(&document);
  if (doc == nullptr) ThrowHost(host::kNotAvailable, u"Not a document of this application.");
  doc->CheckAlive();
  return Uno([&] {
    std::vector<hostkit::RevisionInfo> out;
    const Reference<css::container::XEnumeration> all =
        Reference<css::document::XRedlinesSupplier>(doc->model(), UNO_QUERY_THROW)
            ->getRedlines()
            ->createEnumeration();
    while (all->hasMoreElements()) {
      Reference<css::beans::XPropertySet> redline(all->nextElement(), UNO_QUERY);
      if (!redline.is()) continue;
      OUString type, author;
      redline->getPropertyValue(Ascii("RedlineType")) >>= type;
      if (type != "Insert" && type != "Delete") continue;
      redline->getPropertyValue(Ascii("RedlineAuthor")) >>= author;
      Reference<css::text::XTextRange> start, end;
      redline->getPropertyValue(Ascii("RedlineStart")) >>= start;
      redline->getPropertyValue(Ascii("RedlineEnd")) >>= end;
      hostkit::RevisionInfo info;
      info.kind = type == "Insert" ? hostkit::RevisionInfo::Kind::kInsert
                                   : hostkit::RevisionInfo::Kind::kDelete;
      info.author = U16(author);
      if (start.is() && end.is()) {
        info.position = doc->PositionOf(start);
        const long stop = doc->PositionOf(end);
        info.text =
            doc->GetRange(std::min(info.position, stop), std::max(info.position, stop))->Text();
      }
      out.push_back(info);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.position < b.position; });
    return out;
  });
}

std::vector<std::pair<std::u16string, long>> LoApplication::Settings() {
  // The view switches are the application's (Writer's view settings of each window follow
  // them), so they are shown with no document open too.
  LoView view(this);
  return {{u"ShowDrawings", view.ShowDrawings() ? 1 : 0},
          {u"ShowBackground", view.ShowBackground() ? 1 : 0},
          {u"DrawingObjects", options_.DrawingObjects()},
          {u"WindowState", window_state_},
          {u"UserControl", user_control_ ? 1 : 0}};
}

// ---- starting Writer for a run

std::u16string WriterProgramDir() {
  return Utf8ToUtf16(QNMURO_LO_PROGRAM);
}

bool WriterInstalled() {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(QNMURO_LO_PROGRAM) / "soffice.bin",
                                          ec);
}

std::unique_ptr<hostkit::ScriptHost> StartWriterHost(const hostkit::HostOptions& options,
                                                     const WriterStartOptions& start) {
  std::shared_ptr<WriterProcess> process = WriterProcess::Start(start);
  auto app = std::make_unique<LoApplication>(process->Context(), options);
  if (!options.user_name.empty()) app->SetUserName(options.user_name);
  if (!options.user_initials.empty()) app->SetUserInitials(options.user_initials);
  app->Own(std::move(process));
  return app;
}

}  // namespace qnmuro::lohost
