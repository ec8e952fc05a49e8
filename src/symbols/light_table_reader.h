// Reading the Light files: one symbol table per exchange of the directory.
#pragma once

#include <cstddef>
#include <string>

#include "common/data_file.h"
#include "common/diagnostics.h"
#include "directory/exchange_entry.h"
#include "symbols/symbol_table.h"

namespace tessary {

// How much of a Light file is in memory at a time: a few megabytes, which the loader and the
// system's copy from its file cache both find in the processor's caches.
inline constexpr std::size_t kLightWindowBytes = std::size_t{4} << 20;

// Reads `dataDirectory`/SymTbl/`exchangeKey`_Light into `out`, which should be empty; each
// symbol's text is its trimmed code, '.', and the trimmed Code of `exchange`. False when the
// file cannot be opened or its magic is wrong; `diagnostics`, when given, is told why, and what
// loads but looks wrong. The file is read `windowBytes` at a time (tests set small windows).
[[nodiscard]] bool LoadSymbolTable(DataRoot& dataDirectory, const std::string& exchangeKey,
                                   const ExchangeEntry& exchange, DiagnosticSink* diagnostics,
                                   ExchangeSymbolTable& out, std::size_t windowBytes = kLightWindowBytes);
[[nodiscard]] bool LoadSymbolTable(const std::string& dataDirectory, const std::string& exchangeKey,
                                   const ExchangeEntry& exchange, DiagnosticSink* diagnostics,
                                   ExchangeSymbolTable& out, std::size_t windowBytes = kLightWindowBytes);

// The table of every exchange in `exchanges`, under the same keys; false at the first table that
// does not load.
[[nodiscard]] bool LoadSymbolTables(DataRoot& dataDirectory, const ExchangeMap& exchanges,
                                    DiagnosticSink* diagnostics, SymbolTables& out);
[[nodiscard]] bool LoadSymbolTables(const std::string& dataDirectory, const ExchangeMap& exchanges,
                                    DiagnosticSink* diagnostics, SymbolTables& out);

}  // namespace tessary
