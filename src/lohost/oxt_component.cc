// The qnmuro.oxt component: Writer runs its start-up job once the application has started, and
// the job loads the add-in in Writer's own process, as the word processor loads an add-in:
// the Writer application over Writer's component context, the platform's services, and the
// add-in connected to it until Writer ends.
//
// QNMURO_UI_ANSWERS=FILE: every box takes its answer from FILE (the script language's answer
// commands, one a line) instead of showing; QNMURO_UI_TRANSCRIPT=FILE: each box is written to
// FILE as a script run's transcript shows it.
#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/DispatchDescriptor.hpp>
#include <com/sun/star/frame/XDispatch.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/frame/XTerminateListener.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/lang/XInitialization.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/implbase4.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <rtl/ref.hxx>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "common/context.h"
#include "hostkit/script_parser.h"
#include "hostkit/transcript.h"
#include "lohost/lo_model.h"
#include "lohost/lo_toolbar.h"
#include "lohost/lo_ui.h"
#include "platform/services.h"

namespace qnmuro::lohost {
namespace {

using css::uno::Any;
using css::uno::Sequence;
using css::uno::XComponentContext;

constexpr char kImplementation[] = "org.qnmuro.wps.Startup";
constexpr char kCommands[] = "org.qnmuro.wps.Commands";

// After the application has handled a document event: the add-in's toolbars as it left them.
class ToolbarSync final : public cppu::WeakImplHelper1<css::document::XDocumentEventListener> {
 public:
  explicit ToolbarSync(LoApplication* app) : app_(app) {}
  void Detach() { app_ = nullptr; }
  void SAL_CALL documentEventOccured(const css::document::DocumentEvent&) override {
    if (app_ != nullptr) ShowToolbars(*app_);
  }
  void SAL_CALL disposing(const css::lang::EventObject&) override {}

 private:
  LoApplication* app_;
};

// The scripted UI with its answers from a file, each box written to a transcript file.
class AnsweredUi final : public ScriptedUi {
 public:
  AnsweredUi(const std::string& answers, const char* transcript) {
    if (transcript != nullptr && *transcript != '\0') {
      out_.open(transcript, std::ios::binary | std::ios::app);
      SetListener([this](const UiRecord& record) {
        const std::string line = hostkit::FormatUiRecord(record);
        if (!line.empty()) out_ << line << "\n" << std::flush;
      });
    }
    std::ifstream in(answers, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    try {
      if (!in) throw hostkit::ScriptError(0, "cannot read the answers file " + answers);
      for (const hostkit::ScriptCommand& c : hostkit::ParseScript(text.str())) Queue(c);
    } catch (const hostkit::ScriptError& e) {
      if (out_.is_open()) out_ << "ANSWERS-ERROR " << e.what() << "\n" << std::flush;
    }
  }

 private:
  void Queue(const hostkit::ScriptCommand& c) {
    const std::vector<std::u16string>& a = c.args;
    const std::string& n = c.name;
    if (n == "answer") {
      QueueAnswer(*hostkit::ParseAnswer(a[0]));
    } else if (n == "input") {
      QueueInput(a[0]);
    } else if (n == "input-cancel") {
      QueueInput(std::nullopt);
    } else if (n == "pick-file") {
      QueueFile(a[0]);
    } else if (n == "pick-file-cancel") {
      QueueFile(std::nullopt);
    } else if (n == "pick-template") {
      QueueFormAnswer(FormAnswer{a[0], a[1], false});
    } else if (n == "pick-seal") {
      QueueFormAnswer(FormAnswer{a[0], std::nullopt, false});
    } else if (n == "pick-template-cancel" || n == "pick-seal-cancel") {
      QueueFormAnswer(FormAnswer{std::nullopt, std::nullopt, true});
    } else {
      throw hostkit::ScriptError(c.line, "not an answer: \"" + n + "\"");
    }
  }

  std::ofstream out_;
};

// The add-in's timers (the save reminder) tick on Writer's own thread, as a form's timer ticks
// on the word processor's: a thread of its own wakes once a second and asks Writer to run
// what is due at its next chance.
class TimerPump {
 public:
  TimerPump(const Reference<XComponentContext>& ctx, std::function<void()> run)
      : callback_(new Tick(std::move(run))), async_(css::awt::AsyncCallback::create(ctx)) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~TimerPump() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    callback_->Detach();
  }
  TimerPump(const TimerPump&) = delete;
  TimerPump& operator=(const TimerPump&) = delete;

 private:
  class Tick final : public cppu::WeakImplHelper1<css::awt::XCallback> {
   public:
    explicit Tick(std::function<void()> run) : run_(std::move(run)) {}
    void Detach() {
      std::lock_guard<std::mutex> lock(mutex_);
      run_ = nullptr;
    }
    void SAL_CALL notify(const Any&) override {
      std::function<void()> run;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        run = run_;
      }
      if (run) run();
    }

   private:
    std::mutex mutex_;
    std::function<void()> run_;
  };

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
      try {
        async_->addCallback(callback_.get(), Any());
      } catch (...) {
        // Writer is going away.
      }
    }
  }

  rtl::Reference<Tick> callback_;
  Reference<css::awt::XRequestCallback> async_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

// The add-in loaded in Writer, from the start-up job until Writer ends.
class LoadedAddIn {
 public:
  explicit LoadedAddIn(const Reference<XComponentContext>& ctx) : services_(DefaultServices()) {
    std::error_code ec;
    std::filesystem::create_directories(ToPath(services_.work_dir), ec);
    const char* answers = std::getenv("QNMURO_UI_ANSWERS");
    if (answers != nullptr && *answers != '\0') {
      services_.ui = std::make_unique<AnsweredUi>(answers, std::getenv("QNMURO_UI_TRANSCRIPT"));
    } else {
      services_.ui = NewWriterUi(ctx);
    }
    hostkit::HostOptions options;
    options.ui = services_.ui.get();
    options.clock = services_.clock.get();
    options.work_dir = services_.work_dir;
    app_ = std::make_unique<LoApplication>(ctx, options);
    app_->ListenToWriter();
    sync_ = new ToolbarSync(app_.get());
    css::frame::theGlobalEventBroadcaster::get(ctx)->addDocumentEventListener(sync_.get());
    ctx_ = ctx;
    Connect();
    app_->OnOpenUnfollowed([this] { Reconnect(); });
    if (auto* clock = dynamic_cast<SystemClock*>(services_.clock.get())) {
      pump_ = std::make_unique<TimerPump>(ctx, [this, clock] { RunTimers(*clock); });
    }
  }

  void Event(const OUString& name, const Reference<css::uno::XInterface>& model) {
    Step([&] { app_->OnWriterEvent(name, model); });
    Step([&] { ShowToolbars(*app_); });
  }

  // A toolbar button's command: the control's Execute, then the toolbars as it left them.
  bool Enabled(const OUString& url) {
    bool enabled = false;
    Step([&] {
      const std::shared_ptr<host::Control> control = CommandControl(*app_, url);
      enabled = control != nullptr && control->Enabled();
    });
    return enabled;
  }
  void Run(const OUString& url) {
    Step([&] {
      if (const std::shared_ptr<host::Control> control = CommandControl(*app_, url);
          control != nullptr && control->Enabled())
        control->Execute();
    });
    Step([&] { ShowToolbars(*app_); });
  }

  void Shutdown() {
    if (add_in_ == nullptr) return;
    pump_.reset();
    Disconnect();
    sync_->Detach();
    ForgetToolbars();
    Step([&] {
      css::frame::theGlobalEventBroadcaster::get(ctx_)->removeDocumentEventListener(sync_.get());
    });
    app_->StopListening();
    add_in_.reset();
  }

 private:
  void Connect() {
    add_in_ = std::make_unique<WPSaddin>(ContextFor(services_, nullptr));
    Step([&] { add_in_->OnConnection(app_.get()); });
    Step([&] { add_in_->OnAddInsUpdate(); });
    Step([&] { add_in_->OnStartupComplete(); });
  }
  void Disconnect() {
    Step([&] { add_in_->OnBeginShutdown(); });
    Step([&] { add_in_->OnDisconnection(); });
  }
  // A tick that comes while one runs (a box of its own waits for the clerk) is left out.
  void RunTimers(SystemClock& clock) {
    if (ticking_) return;
    ticking_ = true;
    Step([&] { clock.RunDueTimers(); });
    ticking_ = false;
  }
  // The return to the OA system closed the last document and the add-in let go of Writer,
  // where the word processor would have ended: the next hand-over finds the add-in as a new
  // start does (a new add-in, its log's start line, pending uploads retried).
  void Reconnect() {
    Disconnect();
    Connect();
  }

  template <class Call>
  static void Step(Call&& call) {
    try {
      call();
    } catch (...) {
      // The add-in reports its own failures; Writer goes on without it.
    }
  }

  Services services_;
  std::unique_ptr<LoApplication> app_;
  std::unique_ptr<WPSaddin> add_in_;
  rtl::Reference<ToolbarSync> sync_;
  Reference<XComponentContext> ctx_;
  std::unique_ptr<TimerPump> pump_;
  bool ticking_ = false;
};

std::unique_ptr<LoadedAddIn>& Loaded() {
  static std::unique_ptr<LoadedAddIn> loaded;
  return loaded;
}

// Disconnects the add-in as Writer ends.
class Ending final : public cppu::WeakImplHelper1<css::frame::XTerminateListener> {
 public:
  void SAL_CALL queryTermination(const css::lang::EventObject&) override {}
  void SAL_CALL notifyTermination(const css::lang::EventObject&) override {
    if (Loaded() != nullptr) Loaded()->Shutdown();
  }
  void SAL_CALL disposing(const css::lang::EventObject&) override {}
};

class StartupJob final : public cppu::WeakImplHelper2<css::task::XJob, css::lang::XServiceInfo> {
 public:
  explicit StartupJob(Reference<XComponentContext> ctx) : ctx_(std::move(ctx)) {}

  Any SAL_CALL execute(const Sequence<css::beans::NamedValue>& arguments) override {
    if (Loaded() != nullptr) return {};
    try {
      Loaded() = std::make_unique<LoadedAddIn>(ctx_);
      css::frame::Desktop::create(ctx_)->addTerminateListener(new Ending());
      // The event that started the job has passed the add-in's own listener.
      OUString event;
      Reference<css::uno::XInterface> model;
      for (const css::beans::NamedValue& argument : arguments) {
        Sequence<css::beans::NamedValue> environment;
        if (argument.Name != "Environment" || !(argument.Value >>= environment)) continue;
        for (const css::beans::NamedValue& value : environment) {
          if (value.Name == "EventName") value.Value >>= event;
          if (value.Name == "Model") value.Value >>= model;
        }
      }
      if (model.is() && !event.isEmpty()) Loaded()->Event(event, model);
    } catch (...) {
      // Without its services the add-in stays out of Writer's way.
    }
    return {};
  }

  OUString SAL_CALL getImplementationName() override { return Ascii(kImplementation); }
  sal_Bool SAL_CALL supportsService(const OUString& name) override {
    return cppu::supportsService(this, name);
  }
  Sequence<OUString> SAL_CALL getSupportedServiceNames() override {
    const OUString name = Ascii(kImplementation);
    return Sequence<OUString>(&name, 1);
  }

 private:
  Reference<XComponentContext> ctx_;
};

// The protocol handler of the toolbar buttons' commands.
class Commands final
    : public cppu::WeakImplHelper4<css::frame::XDispatchProvider, css::frame::XDispatch,
                                   css::lang::XInitialization, css::lang::XServiceInfo> {
 public:
  void SAL_CALL initialize(const Sequence<Any>&) override {}
  Reference<css::frame::XDispatch> SAL_CALL queryDispatch(const css::util::URL& url,
                                                          const OUString&, sal_Int32) override {
    if (!url.Complete.startsWith(Ascii(kCommandProtocol))) return {};
    return this;
  }
  Sequence<Reference<css::frame::XDispatch>> SAL_CALL
  queryDispatches(const Sequence<css::frame::DispatchDescriptor>& requests) override {
    Sequence<Reference<css::frame::XDispatch>> out(requests.getLength());
    for (sal_Int32 i = 0; i < requests.getLength(); ++i) {
      out.getArray()[i] =
          queryDispatch(requests[i].FeatureURL, requests[i].FrameName, requests[i].SearchFlags);
    }
    return out;
  }
  void SAL_CALL dispatch(const css::util::URL& url,
                         const Sequence<css::beans::PropertyValue>&) override {
    if (Loaded() != nullptr) Loaded()->Run(url.Complete);
  }
  void SAL_CALL addStatusListener(const Reference<css::frame::XStatusListener>& listener,
                                  const css::util::URL& url) override {
    TellEnabled(listener, static_cast<cppu::OWeakObject*>(this), url,
                Loaded() != nullptr && Loaded()->Enabled(url.Complete));
  }
  void SAL_CALL removeStatusListener(const Reference<css::frame::XStatusListener>&,
                                     const css::util::URL&) override {}
  OUString SAL_CALL getImplementationName() override { return Ascii(kCommands); }
  sal_Bool SAL_CALL supportsService(const OUString& name) override {
    return cppu::supportsService(this, name);
  }
  Sequence<OUString> SAL_CALL getSupportedServiceNames() override {
    const OUString names[] = {Ascii(kCommands), Ascii("com.sun.star.frame.ProtocolHandler")};
    return Sequence<OUString>(names, 2);
  }
};

Reference<css::uno::XInterface> SAL_CALL CreateCommands(const Reference<XComponentContext>&) {
  return static_cast<cppu::OWeakObject*>(new Commands());
}
OUString SAL_CALL CommandsName() {
  return Ascii(kCommands);
}
Sequence<OUString> SAL_CALL CommandsServices() {
  const OUString names[] = {Ascii(kCommands), Ascii("com.sun.star.frame.ProtocolHandler")};
  return Sequence<OUString>(names, 2);
}

Reference<css::uno::XInterface> SAL_CALL CreateJob(const Reference<XComponentContext>& ctx) {
  return static_cast<cppu::OWeakObject*>(new StartupJob(ctx));
}
OUString SAL_CALL JobName() {
  return Ascii(kImplementation);
}
Sequence<OUString> SAL_CALL JobServices() {
  const OUString name = Ascii(kImplementation);
  return Sequence<OUString>(&name, 1);
}

const cppu::ImplementationEntry kEntries[] = {
    {CreateJob, JobName, JobServices, cppu::createSingleComponentFactory, nullptr, 0},
    {CreateCommands, CommandsName, CommandsServices, cppu::createSingleComponentFactory, nullptr,
     0},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}};

}  // namespace
}  // namespace qnmuro::lohost

extern "C" SAL_DLLPUBLIC_EXPORT void* SAL_CALL component_getFactory(const char* name,
                                                                    void* service_manager,
                                                                    void* registry) {
  return cppu::component_getFactoryHelper(name, service_manager, registry,
                                          qnmuro::lohost::kEntries);
}
