// A connected add-in (AddinTest) with the development OA server on 127.0.0.1 behind it: files
// published on the server, and control files whose every address points at it.
#ifndef QNMURO_TESTS_SUPPORT_SERVED_FIXTURE_H_
#define QNMURO_TESTS_SUPPORT_SERVED_FIXTURE_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "oaserver/oa_server.h"
#include "support/addin_fixture.h"

namespace qnmuro::test_util {

// Replaces every occurrence of `from` in `text`; fails the test when there is none.
void ReplaceEvery(std::string& text, std::string_view from, std::string_view to);

class ServedAddinTest : public AddinTest {
 protected:
  ServedAddinTest();
  ~ServedAddinTest() override;

  // Where the server serves /<db>/0/<unid>/$file/<name>.
  void Publish(std::string_view unid, std::string_view name, const std::string& bytes);
  // The example control file for the document, every address on the server, with the action
  // and the button list replaced, then `edit` applied to its text.
  void WriteServedControl(std::u16string_view document_name, std::string_view action,
                          std::string_view buttons,
                          const std::function<void(std::string&)>& edit = {});
  // The server's address of a published file, as the control file's rootUrl builds it.
  std::string FileUrl(std::string_view unid, std::string_view name) const;

  std::unique_ptr<OaServer> server_;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_SERVED_FIXTURE_H_
