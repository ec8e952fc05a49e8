// The exchange list query behind TSYGetExch.
#pragma once

#include <cstdint>

#include "directory/exchange_entry.h"
#include "tessary.h"

namespace tessary {

// Hands out one ExchangeInfo per exchange, in the directory's order (by Serial). False, with
// nothing written, for a null `list` or when the array cannot be had.
[[nodiscard]] bool ListExchanges(const ExchangeMap& exchanges, ExchangeInfo** list, std::int32_t* count);

}  // namespace tessary
