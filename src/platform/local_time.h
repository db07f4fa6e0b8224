// The C library's local-time conversions in 64-bit seconds, whatever width the platform's
// time_t has (32 bits in the 32-bit Windows runtime, too narrow for the clock's years). Each
// platform defines them in its own file (local_time_posix.cc, clock_win.cc).
#ifndef QNMURO_PLATFORM_LOCAL_TIME_H_
#define QNMURO_PLATFORM_LOCAL_TIME_H_

#include <cstdint>
#include <ctime>

namespace qnmuro {

// mktime: the seconds since the epoch of the local time `tm` (normalised in place), -1 when
// the runtime cannot represent it.
int64_t MakeLocalSeconds(std::tm* tm);

// localtime: the local time of `seconds`; false when the runtime cannot represent it.
bool LocalTimeOfSeconds(int64_t seconds, std::tm* out);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_LOCAL_TIME_H_
