// One exchange of the exchange directory: the record the other subsystems receive.
#pragma once

#include <cstdint>

#include "common/owning_map.h"

namespace tessary {

struct ExchangeEntry {
    std::uint16_t Id = 0;      // low 16 bits of the "ID" number
    char Code[3] = {};         // NUL-terminated
    char Name[51] = {};        // NUL-terminated
    bool Alert = false;        // "Alert" is 1
    bool Trade = false;
    bool Quote = false;
    std::int32_t Serial = 0;   // position of the Type element that last wrote the entry, from 1
};

// The exchanges by key (the "ID" number in decimal).
using ExchangeMap = OwningMap<ExchangeEntry>;

}  // namespace tessary
