// The qnmuro.oxt component: Writer runs its start-up job once the application has started, and
// the job loads the add-in in Writer's own process, as the word processor loads an add-in:
// the Writer application over Writer's component context, the platform's services, and the
// add-in connected to it until Writer ends.
//
// QNMURO_UI_ANSWERS=FILE: every box takes its answer from FILE (the script language's answer
// commands, one a line) instead of showing; QNMURO_UI_TRANSCRIPT=FILE: each box is written to
// FILE as a script run's transcript shows it.
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XTerminateListener.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <cppuhelper/supportsservice.hxx>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "common/context.h"
#include "lohost/lo_model.h"
#include "lohost/lo_ui.h"
#include "platform/services.h"
#include "simhost/script_parser.h"
#include "simhost/transcript.h"

namespace qnmuro::lohost {
namespace {

using css::uno::Any;
using css::uno::Sequence;
using css::uno::XComponentContext;

constexpr char kImplementation[] = "org.qnmuro.wps.Startup";

// The scripted UI with its answers from a file, each box written to a transcript file.
class AnsweredUi final : public ScriptedUi {
 public:
  AnsweredUi(const std::string& answers, const char* transcript) {
    if (transcript != nullptr && *transcript != '\0') {
      out_.open(transcript, std::ios::binary | std::ios::app);
      SetListener([this](const UiRecord& record) {
        const std::string line = simhost::FormatUiRecord(record);
        if (!line.empty()) out_ << line << "\n" << std::flush;
      });
    }
    std::ifstream in(answers, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    try {
      if (!in) throw simhost::ScriptError(0, "cannot read the answers file " + answers);
      for (const simhost::ScriptCommand& c : simhost::ParseScript(text.str())) Queue(c);
    } catch (const simhost::ScriptError& e) {
      if (out_.is_open()) out_ << "ANSWERS-ERROR " << e.what() << "\n" << std::flush;
    }
  }

 private:
  void Queue(const simhost::ScriptCommand& c) {
    const std::vector<std::u16string>& a = c.args;
    const std::string& n = c.name;
    if (n == "answer") {
      QueueAnswer(*simhost::ParseAnswer(a[0]));
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
      throw simhost::ScriptError(c.line, "not an answer: \"" + n + "\"");
    }
  }

  std::ofstream out_;
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
    simhost::SimHostOptions options;
    options.ui = services_.ui.get();
    options.clock = services_.clock.get();
    options.work_dir = services_.work_dir;
    app_ = std::make_unique<LoApplication>(ctx, options);
    app_->ListenToWriter();
    add_in_ = std::make_unique<WPSaddin>(ContextFor(services_, nullptr));
    Step([&] { add_in_->OnConnection(app_.get()); });
    Step([&] { add_in_->OnAddInsUpdate(); });
    Step([&] { add_in_->OnStartupComplete(); });
  }

  void Event(const OUString& name, const Reference<css::uno::XInterface>& model) {
    Step([&] { app_->OnWriterEvent(name, model); });
  }

  void Shutdown() {
    if (add_in_ == nullptr) return;
    Step([&] { add_in_->OnBeginShutdown(); });
    Step([&] { add_in_->OnDisconnection(); });
    app_->StopListening();
    add_in_.reset();
  }

 private:
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
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}};

}  // namespace
}  // namespace qnmuro::lohost

extern "C" SAL_DLLPUBLIC_EXPORT void* SAL_CALL component_getFactory(const char* name,
                                                                    void* service_manager,
                                                                    void* registry) {
  return cppu::component_getFactoryHelper(name, service_manager, registry,
                                          qnmuro::lohost::kEntries);
}
