#include "simhost/sim_application.h"

#include <algorithm>

#include "base/text.h"
#include "simhost/sim_layout.h"

namespace qnmuro::simhost {
namespace {

class SimDocuments final : public host::Documents {
 public:
  explicit SimDocuments(SimApplicationImpl* app) : app_(app) {}
  long Count() override { return static_cast<long>(app_->documents().size()); }
  std::shared_ptr<host::Document> Item(long index) override {
    if (index < 1 || index > Count())
      ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
    return app_->documents()[index - 1];
  }
  std::shared_ptr<host::Document> Open(std::u16string_view path, bool visible) override {
    return app_->OpenFile(path, visible);
  }
  std::shared_ptr<host::Document> Add() override { return app_->NewDocument(); }

 private:
  SimApplicationImpl* app_;
};

class SimOptions final : public host::Options {
 public:
  explicit SimOptions(SimApplicationImpl* app) : app_(app) {}
  long DrawingObjects() override { return app_->drawing_objects_; }
  void SetDrawingObjects(long value) override {
    if (value != 0 && value != 1) ThrowHost(host::kBadParameter, u"The value is out of range.");
    app_->drawing_objects_ = value;
  }

 private:
  SimApplicationImpl* app_;
};

class SimView final : public host::View {
 public:
  explicit SimView(SimApplicationImpl* app) : app_(app) {}
  bool ShowDrawings() override { return app_->show_drawings_; }
  void SetShowDrawings(bool on) override { app_->show_drawings_ = on; }
  bool ShowBackground() override { return app_->show_background_; }
  void SetShowBackground(bool on) override { app_->show_background_ = on; }

 private:
  SimApplicationImpl* app_;
};

bool IsAbsolute(std::u16string_view path) {
  return (!path.empty() && (path[0] == u'/' || path[0] == u'\\')) ||
         (path.size() >= 2 && path[1] == u':');
}

}  // namespace

std::unique_ptr<SimApplication> NewSimApplication(const hostkit::HostOptions& options) {
  return std::make_unique<SimApplicationImpl>(options);
}

SimApplicationImpl::SimApplicationImpl(const hostkit::HostOptions& options)
    : ui_(options.ui),
      clock_(options.clock),
      work_dir_(options.work_dir),
      user_name_(options.user_name),
      user_initials_(options.user_initials),
      link_(std::make_shared<AppLink>()),
      documents_collection_(std::make_unique<SimDocuments>(this)),
      options_(std::make_unique<SimOptions>(this)),
      view_(std::make_unique<SimView>(this)) {
  link_->app = this;
  selection_ = std::make_shared<SimSelection>(link_);
  BuildMenuBar();
}

SimApplicationImpl::~SimApplicationImpl() {
  link_->app = nullptr;
  for (auto& d : documents_) d->Detach();
}

void SimApplicationImpl::BuildMenuBar() {
  auto menu = bars_.AddBuiltIn(u"Menu Bar");
  auto file = menu->controls().AddBuiltIn(host::kControlPopup, u"文件(&F)", nullptr);
  file->popup()->AddBuiltIn(host::kControlButton, u"保存(&S)", [this] { Active()->Save(); });
  file->popup()->AddBuiltIn(host::kControlButton, u"关闭(&C)", [this] { Active()->Close(); });
  auto insert = menu->controls().AddBuiltIn(host::kControlPopup, u"插入(&I)", nullptr);
  insert->popup()->AddBuiltIn(host::kControlButton, u"文件(&L)...", [this] {
    Active();  // no document, no dialog
    std::optional<std::u16string> path = Ui().PickFile(u"插入文件");
    if (path) selection_->InsertFile(*path);
  });
  auto tools = menu->controls().AddBuiltIn(host::kControlPopup, u"工具(&T)", nullptr);
  // The options dialog has nothing to show without a screen.
  tools->popup()->AddBuiltIn(host::kControlButton, u"选项(&E)...", [] {});
}

UiService& SimApplicationImpl::Ui() {
  if (ui_ == nullptr) ThrowHost(host::kNotAvailable, u"The application has no user interface.");
  return *ui_;
}

TimePoint SimApplicationImpl::Now() {
  return clock_ != nullptr ? clock_->Now() : std::chrono::system_clock::now();
}

std::u16string SimApplicationImpl::ResolvePath(std::u16string_view path) {
  if (IsAbsolute(path) || work_dir_.empty()) return std::u16string(path);
  return FromPath(ToPath(work_dir_) / ToPath(path));
}

std::shared_ptr<SimDocument> SimApplicationImpl::Active() {
  if (!active_)
    ThrowHost(host::kNoDocument, u"This command is not available because no document is open.");
  return active_;
}

std::shared_ptr<host::Document> SimApplicationImpl::ActiveDocument() {
  return Active();
}

std::shared_ptr<host::Window> SimApplicationImpl::ActiveWindow() {
  return std::make_shared<SimWindow>(link_, Active());
}

std::shared_ptr<host::Selection> SimApplicationImpl::GetSelection() {
  return selection_;
}
host::Documents& SimApplicationImpl::GetDocuments() {
  return *documents_collection_;
}
host::Options& SimApplicationImpl::GetOptions() {
  return *options_;
}
host::CommandBars& SimApplicationImpl::GetCommandBars() {
  return bars_;
}

void SimApplicationImpl::Run(std::u16string_view macro) {
  auto it = macros_.find(std::u16string(macro));
  if (it == macros_.end())
    ThrowHost(host::kNoSuchMacro, u"The macro cannot be found: " + std::u16string(macro));
  auto body = it->second;  // the macro may redefine itself
  if (body) body();
}

void SimApplicationImpl::SetWindowState(long state) {
  if (state < 0 || state > 2) ThrowHost(host::kBadParameter, u"The value is out of range.");
  window_state_ = state;
}

void SimApplicationImpl::Subscribe(host::ApplicationEvents* events) {
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end())
    subscribers_.push_back(events);
}

void SimApplicationImpl::Unsubscribe(host::ApplicationEvents* events) {
  std::erase(subscribers_, events);
}

SimDocument& SimApplicationImpl::Of(host::Document& document) {
  auto* doc = dynamic_cast<SimDocument*>(&document);
  if (doc == nullptr || doc->closed())
    ThrowHost(host::kNotAvailable, u"The document is not open in this application.");
  return *doc;
}

std::vector<hostkit::RevisionInfo> SimApplicationImpl::Revisions(host::Document& document) {
  TextStore& store = Of(document).Store();
  std::vector<hostkit::RevisionInfo> out;
  for (const auto& r : store.Revisions()) {
    hostkit::RevisionInfo info;
    info.kind = r.kind;
    info.position = r.start;
    info.text = r.kind == hostkit::RevisionInfo::Kind::kInsert ? store.Slice(r.start, r.end)
                                                               : r.deleted_text;
    info.author = r.author;
    info.time = r.time;
    out.push_back(std::move(info));
  }
  return out;
}

std::vector<hostkit::ShapeInfo> SimApplicationImpl::ShapeInfos(host::Document& document) {
  TextStore& store = Of(document).Store();
  std::u16string text = store.Text();
  std::vector<hostkit::ShapeInfo> out;
  for (const auto& s : store.Shapes()) {
    out.push_back({s.name, PageOf(text, s.anchor), s.left, s.top, s.width, s.height, s.visible,
                   s.behind_text, s.z});
  }
  return out;
}

std::vector<std::pair<std::u16string, long>> SimApplicationImpl::Settings() {
  return {{u"ShowDrawings", show_drawings_ ? 1 : 0},
          {u"ShowBackground", show_background_ ? 1 : 0},
          {u"DrawingObjects", drawing_objects_},
          {u"WindowState", window_state_},
          {u"UserControl", user_control_ ? 1 : 0}};
}

void SimApplicationImpl::DefineMacro(std::u16string_view name, std::function<void()> body) {
  macros_[std::u16string(name)] = std::move(body);
}

std::vector<std::u16string> SimApplicationImpl::MacroNames() {
  std::vector<std::u16string> names;
  for (auto& [name, body] : macros_) names.push_back(name);
  return names;
}

std::shared_ptr<host::Document> SimApplicationImpl::ActivateByName(std::u16string_view name) {
  for (auto& d : documents_) {
    if (d->Name() == name) {
      active_ = d;
      return d;
    }
  }
  ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
}

std::vector<std::shared_ptr<host::CommandBar>> SimApplicationImpl::AddedBars() {
  return bars_.AddedBars();
}

bool SimApplicationImpl::Click(std::u16string_view caption) {
  bool enabled = false;
  auto control = bars_.FindControl(caption, &enabled);
  if (!control)
    ThrowHost(host::kNoSuchMember, u"No command bar has a button " + std::u16string(caption));
  if (!enabled) return false;
  control->Execute();
  return true;
}

std::shared_ptr<host::Shape> SimApplicationImpl::AddPictureAtSelection(std::u16string_view file,
                                                                       std::u16string_view name,
                                                                       float width, float height) {
  auto doc = Active();
  TextStore& store = doc->Store();
  std::u16string text = store.Text();
  host::DocumentRect at = SpanRect(text, store.SelectionStart(), store.SelectionEnd());
  host::PagePoint origin = PageOriginOf(PageOf(text, store.SelectionStart()));
  auto shape = doc->GetShapes().AddPicture(file, false, true, at.left - origin.left,
                                           at.top - origin.top, width, height);
  if (!name.empty()) shape->SetName(name);
  return shape;
}

void SimApplicationImpl::Quit() {
  while (!documents_.empty()) documents_.back()->Close();
  bars_.DropTemporary();
}

void SimApplicationImpl::ActivateDocument(SimDocument& document) {
  for (auto& d : documents_)
    if (d.get() == &document) active_ = d;
}

void SimApplicationImpl::BeforeSave(SimDocument& document, bool& save_as_ui, bool& cancel) {
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->DocumentBeforeSave(document, save_as_ui, cancel);
}

void SimApplicationImpl::DocumentClosed(SimDocument& document) {
  std::erase_if(documents_, [&](const auto& d) { return d.get() == &document; });
  if (active_.get() == &document) active_ = documents_.empty() ? nullptr : documents_.back();
}

std::shared_ptr<SimDocument> SimApplicationImpl::OpenFile(std::u16string_view path, bool visible) {
  std::u16string full = ResolvePath(path);
  for (auto& d : documents_) {
    if (d->FullName() == full) {
      if (visible) active_ = d;
      return d;
    }
  }
  auto doc = std::make_shared<SimDocument>(this, full, true);
  doc->LoadFile(full);
  documents_.push_back(doc);
  if (visible || !active_) active_ = doc;
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->DocumentOpen(*doc);
  return doc;
}

std::shared_ptr<SimDocument> SimApplicationImpl::NewDocument() {
  auto doc = std::make_shared<SimDocument>(
      this, u"Document" + ToText(static_cast<long long>(next_new_number_++)), false);
  documents_.push_back(doc);
  active_ = doc;
  return doc;
}

}  // namespace qnmuro::simhost
