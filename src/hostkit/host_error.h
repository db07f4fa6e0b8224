// The errors a host raises in its own name, as the word processor's automation model does:
// a host-style number, a description, and the host as the source.
#ifndef QNMURO_HOSTKIT_HOST_ERROR_H_
#define QNMURO_HOSTKIT_HOST_ERROR_H_

#include <string_view>

namespace qnmuro::hostkit {

// Raises a host error.
[[noreturn]] void ThrowHost(long number, std::u16string_view description);

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_HOST_ERROR_H_
