// Calendar fields as local time, within the range every platform runtime accepts.
#include "common/local_time.h"

namespace tessary {

bool MakeLocalTime(const CalendarFields& fields, std::int64_t& seconds) noexcept {
    std::tm tm{};
    tm.tm_year = fields.Year - 1900;
    tm.tm_mon = fields.Month - 1;
    tm.tm_mday = fields.Day;
    tm.tm_hour = fields.Hour;
    tm.tm_min = fields.Minute;
    tm.tm_sec = fields.Second;
    tm.tm_isdst = -1;
    const std::int64_t t = LocalTimeToSeconds(tm);
    // 3000-12-31 23:59:59 UTC, the last second the Windows runtime accepts; stated here too for
    // runtimes that do not enforce the range themselves.
    constexpr std::int64_t kLastSecond = INT64_C(32535215999);
    if (t < 0 || t > kLastSecond) return false;
    seconds = t;
    return true;
}

}  // namespace tessary
