#include <time.h>

#include "platform/local_time.h"

namespace qnmuro {

int64_t MakeLocalSeconds(std::tm* tm) {
  return static_cast<int64_t>(mktime(tm));
}

bool LocalTimeOfSeconds(int64_t seconds, std::tm* out) {
  const time_t t = static_cast<time_t>(seconds);
  return localtime_r(&t, out) != nullptr;
}

}  // namespace qnmuro
