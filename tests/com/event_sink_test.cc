// Events found by name: a host object describing its events only in its own type library
// (tests/com/fake_host.idl) raises them into an EventSink.
#include <windows.h>

#include <initguid.h>
// clang-format off: the generated header must follow initguid.h.
#include "fake_host.h"
// clang-format on

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "com/event_sink.h"
#include "host_object.h"
#include "platform/com_win.h"

namespace qnmuro::com {
namespace {

TEST(EventSinkTest, EventsArriveByNameUntilTheSinkGoes) {
  EnsureInitialized();
  std::vector<std::string> journal;
  HostObject app("Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents,
                 &journal);
  std::vector<std::string> seen;
  {
    EventSink sink(
        &app, {{L"DocumentOpen",
                [&](DISPPARAMS& args) { seen.push_back("open " + std::to_string(args.cArgs)); }},
               {L"DocumentBeforeSave", [&](DISPPARAMS& args) {
                  // Cancel is the last argument, handed over first.
                  *V_BOOLREF(&args.rgvarg[0]) = VARIANT_TRUE;
                  throw MakeError(kErrCantPerform);  // stays in the sink
                }}});
    EXPECT_EQ(app.Subscribed(), 1u);
    VARIANT doc;
    V_VT(&doc) = VT_DISPATCH;
    V_DISPATCH(&doc) = &app;
    app.Raise(4, {doc});
    VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
    VARIANT save_as_arg, cancel_arg;
    V_VT(&save_as_arg) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&save_as_arg) = &save_as;
    V_VT(&cancel_arg) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&cancel_arg) = &cancel;
    app.Raise(8, {doc, save_as_arg, cancel_arg});
    EXPECT_EQ(cancel, VARIANT_TRUE);
    app.Raise(99, {});  // an event nobody asked for
  }
  EXPECT_EQ(app.Subscribed(), 0u);
  EXPECT_EQ(seen, std::vector<std::string>{"open 1"});
}

TEST(EventSinkTest, AnEventTheObjectDoesNotDescribeIsRefused) {
  EnsureInitialized();
  std::vector<std::string> journal;
  HostObject app("Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents,
                 &journal);
  try {
    EventSink sink(&app, {{L"NoSuchEvent", [](DISPPARAMS&) {}}});
    FAIL() << "subscribed to an event the object lacks";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kErrNotSupported);
  }
  EXPECT_EQ(app.Subscribed(), 0u);
}

}  // namespace
}  // namespace qnmuro::com
