#include "hostkit/host_error.h"

#include <string>

#include "base/error.h"

namespace qnmuro::hostkit {

void ThrowHost(long number, std::u16string_view description) {
  throw Error(number, std::u16string(description), u"QNMuroWPS Host");
}

}  // namespace qnmuro::hostkit
