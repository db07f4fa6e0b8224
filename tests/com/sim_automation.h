// A word processor as an automation server: the objects of a host::Application (the simulated
// word processor in the tests) answer by member name to the descriptions in the test host's
// type library (tests/com/fake_host.idl), and its events (a document opened or about to be
// saved, a document's close, a button's click) go out through connection points. This is what
// the add-in's COM adapter meets when the word processor loads it.
#ifndef QNMURO_TESTS_COM_SIM_AUTOMATION_H_
#define QNMURO_TESTS_COM_SIM_AUTOMATION_H_

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "host_object.h"

namespace qnmuro::com {

class SimAutomation final : public host::ApplicationEvents {
 public:
  // `app` must outlive this object.
  explicit SimAutomation(host::Application& app);
  ~SimAutomation() override;
  SimAutomation(const SimAutomation&) = delete;
  SimAutomation& operator=(const SimAutomation&) = delete;

  // The application object handed to the add-in's OnConnection.
  HostObject& Application() { return *application_; }
  // Every property written and method called through automation, as "Object.Member=value"
  // and "Object.Member()".
  const std::vector<std::string>& Journal() const { return journal_; }

  void DocumentOpen(host::Document& document) override;
  void DocumentBeforeSave(host::Document& document, bool& save_as_ui, bool& cancel) override;

 private:
  class Relay;

  HostObject* Make(const char* name, REFGUID members, const GUID* coclass = nullptr,
                   const IID* events = nullptr);
  HostObject* DocumentObject(const std::shared_ptr<host::Document>& document);
  HostObject* DocumentObject(host::Document& document);
  HostObject* DocumentsObject();
  HostObject* RangeObject(std::shared_ptr<host::Range> range);
  HostObject* BookmarksObject(host::Document& document);
  HostObject* BookmarkObject(std::shared_ptr<host::Bookmark> bookmark);
  HostObject* ShapesObject(host::Document& document);
  HostObject* ShapeObject(std::shared_ptr<host::Shape> shape);
  HostObject* SelectionObject();
  HostObject* WindowObject();
  HostObject* OptionsObject();
  HostObject* CommandBarsObject();
  HostObject* BarObject(std::shared_ptr<host::CommandBar> bar);
  HostObject* ControlsObject(host::Controls& controls);
  HostObject* ControlObject(const std::shared_ptr<host::Control>& control);

  host::Application& app_;
  std::vector<std::string> journal_;
  // Every object handed out lives as long as the server: automation clients may hold them.
  std::deque<HostObject> objects_;
  HostObject* application_ = nullptr;
  // One object per document and per control, so that their identity and events stay theirs.
  std::map<host::Document*, HostObject*> documents_;
  std::map<host::Control*, HostObject*> controls_;
  std::vector<std::shared_ptr<void>> held_;
  std::vector<std::unique_ptr<Relay>> relays_;
};

}  // namespace qnmuro::com

#endif  // QNMURO_TESTS_COM_SIM_AUTOMATION_H_
