// One exchange of the exchange directory.
#pragma once

#include <cstdint>

namespace tessary {

struct ExchangeEntry {
    std::uint16_t Id = 0;      // low 16 bits of the "ID" number
    char Code[3] = {};         // NUL-terminated
    char Name[51] = {};        // NUL-terminated
    std::int32_t Alert = 0;    // 1 when "Alert" is 1
    std::int32_t Trade = 0;
    std::int32_t Quote = 0;
    std::int32_t Serial = 0;   // position of the Type element that last wrote the entry, from 1
};

}  // namespace tessary
