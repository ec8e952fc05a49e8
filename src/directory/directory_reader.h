// Reading Directory.xml: the exchanges and the expiry date of a data directory.
#pragma once

#include <cstdint>
#include <string>

#include "common/data_file.h"
#include "common/diagnostics.h"
#include "directory/exchange_entry.h"

namespace tessary {

struct ExchangeDirectory {
    std::int64_t ExpiryTime = 0;  // seconds since 1970
    ExchangeMap Exchanges;
};

// Reads `dataDirectory`/Directory.xml into `out`, which should be empty. False when the file
// does not load (missing, malformed, no valid Expires date); `diagnostics`, when given, is told
// why, and what loads but looks wrong. A Type element repeating an ID replaces the earlier one.
[[nodiscard]] bool LoadDirectory(DataRoot& dataDirectory, DiagnosticSink* diagnostics, ExchangeDirectory& out);
[[nodiscard]] bool LoadDirectory(const std::string& dataDirectory, DiagnosticSink* diagnostics,
                                 ExchangeDirectory& out);

}  // namespace tessary
