// The C library's mktime behind LocalTimeToSeconds.
#include "common/local_time.h"

namespace tessary {

std::int64_t LocalTimeToSeconds(std::tm& tm) noexcept {
    static_assert(sizeof(std::time_t) >= 8, "calendar times beyond 2038 need a 64-bit time_t");
    return static_cast<std::int64_t>(std::mktime(&tm));
}

}  // namespace tessary
