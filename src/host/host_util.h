// Small helpers for reaching host objects that may be missing: a missing object raises the
// add-in's "object not set" error (91) instead of being dereferenced.
#ifndef QNMURO_HOST_HOST_UTIL_H_
#define QNMURO_HOST_HOST_UTIL_H_

#include <memory>

#include "base/error.h"
#include "host/host.h"

namespace qnmuro {

template <class T>
T& Require(T* object) {
  if (object == nullptr) throw MakeError(kErrObjectNotSet);
  return *object;
}

// Only for a pointer that outlives the use: never bind the result to a reference when the
// shared pointer is a temporary.
template <class T>
T& Require(const std::shared_ptr<T>& object) {
  return Require(object.get());
}

}  // namespace qnmuro

#endif  // QNMURO_HOST_HOST_UTIL_H_
