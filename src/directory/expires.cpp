// Reading the directory's "Expires" date by its fixed character positions.
#include "directory/expires.h"

#include "common/decimal.h"
#include "common/local_time.h"

namespace tessary {
namespace {

// The piece at 0-based `start` of `length` characters; a piece beyond the end is empty.
std::int32_t Piece(std::string_view text, std::size_t start, std::size_t length) {
    if (start >= text.size()) return 0;
    return ParseDecimal(text.substr(start, length));
}

}  // namespace

bool ParseExpires(std::string_view text, std::int64_t& seconds) noexcept {
    const CalendarFields fields{Piece(text, 0, 4),  Piece(text, 4, 2),  Piece(text, 6, 2),
                                Piece(text, 9, 2),  Piece(text, 11, 2), Piece(text, 13, 2)};
    if (fields.Year < 1900 || fields.Month < 1 || fields.Month > 12 || fields.Day < 1 ||
        fields.Day > 31 || fields.Hour < 0 || fields.Hour > 23 || fields.Minute < 0 ||
        fields.Minute > 59 || fields.Second < 0 || fields.Second > 59)
        return false;
    return MakeLocalTime(fields, seconds);
}

}  // namespace tessary
