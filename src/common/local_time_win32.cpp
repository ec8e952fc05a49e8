// The C runtime's 64-bit mktime, whose range (1970 to the end of 3000, UTC) is the one the
// directory's expiry date is checked against.
#include <time.h>

#include "common/local_time.h"

namespace tessary {

std::int64_t LocalTimeToSeconds(std::tm& tm) noexcept { return static_cast<std::int64_t>(::_mktime64(&tm)); }

}  // namespace tessary
