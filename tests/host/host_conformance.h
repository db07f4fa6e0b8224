// The host behaviours the core relies on, as one table run against every host backend: the
// simulated word processor, Writer, and the COM adapter over the simulated automation server.
//
// A case takes a factory that hands it the host to run on (fresh, or one reused across cases
// with no document open), makes its own documents in the host's folder and checks them through
// host.h only, plus the revisions a HostUnderTest shows. A case reports through gtest's
// non-fatal assertions; a host error escapes as qnmuro::Error, which the runner reports.
#ifndef QNMURO_TESTS_HOST_HOST_CONFORMANCE_H_
#define QNMURO_TESTS_HOST_HOST_CONFORMANCE_H_

#include <functional>
#include <string>
#include <vector>

#include "host/host.h"

namespace qnmuro::conformance {

// One tracked revision as a case checks it.
struct Revision {
  bool insert = true;  // false: a deletion
  std::u16string text;
  std::u16string author;
  bool operator==(const Revision&) const = default;
};

class HostUnderTest {
 public:
  virtual ~HostUnderTest() = default;
  virtual host::Application& App() = 0;
  // A folder of the host's own for the files a case writes (absolute).
  virtual std::u16string Folder() = 0;
  // The document's tracked revisions in document order.
  virtual std::vector<Revision> Revisions(host::Document& document) = 0;
  // The file extensions (".fodt", ".docx", ...) that the host saves and reopens with text,
  // bookmarks and revisions intact; the first is the one a case uses for its own files.
  virtual std::vector<std::u16string> SaveFormats() = 0;
  // Whether a tracked deletion stays in the main text, marked deleted, until it is accepted
  // (a real word processor's way), rather than leaving it at once.
  virtual bool KeepsDeletedText() = 0;
};

// Gives the host a case runs on, with no document open.
using HostFactory = std::function<HostUnderTest&()>;

struct ConformanceCase {
  const char* name;
  // Null: a slot whose case is not written yet.
  void (*run)(const HostFactory& host);
};

const std::vector<ConformanceCase>& ConformanceCases();

// Runs every case on the host, each under its own name; closes whatever a case left open
// without saving before the next one.
void RunConformanceCases(const HostFactory& host);

}  // namespace qnmuro::conformance

#endif  // QNMURO_TESTS_HOST_HOST_CONFORMANCE_H_
