#include "common/context.h"

#include <cstdlib>

#include "common/text.h"

namespace qnmuro {

std::u16string DefaultWorkDir() {
#ifdef _WIN32
  return u"C:\\OAWork";
#else
  const char* dir = std::getenv("QNMURO_WORKDIR");
  std::u16string out;
  if (dir != nullptr && *dir != '\0') {
    out = Utf8ToUtf16(dir);
  } else {
    const char* home = std::getenv("HOME");
    out = Utf8ToUtf16(home != nullptr ? home : ".") + u"/OAWork";
  }
  while (out.size() > 1 && (out.back() == u'/' || out.back() == u'\\')) out.pop_back();
  return out;
#endif
}

}  // namespace qnmuro
