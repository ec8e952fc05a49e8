// The readers run one after the other on a data directory, as the database runs them, for tests
// and benchmarks that work on the subsystems' own data.
#pragma once

#include <string>

#include "directory/directory_reader.h"
#include "groups/group_table_reader.h"
#include "symbols/light_table_reader.h"
#include "symbols/search_index.h"
#include "symbols/symbol_resolver.h"

namespace tessary::testing {

struct LoadedData {
    ExchangeDirectory Directory;
    SymbolTables Tables;
    SymbolResolver Resolver;
    SearchIndex Index;
    GroupTree Groups;

    // Loads `dir`, the group table only when `groups`; false at the first reader that fails.
    [[nodiscard]] bool Load(const std::string& dir, DiagnosticSink* sink = nullptr, bool groups = true) {
        if (!LoadDirectory(dir, sink, Directory) || !LoadSymbolTables(dir, Directory.Exchanges, sink, Tables))
            return false;
        Resolver.Build(Directory.Exchanges, Tables);
        return BuildSearchIndex(Tables, Resolver, Index) && (!groups || LoadGroupTable(dir, sink, Groups));
    }
};

}  // namespace tessary::testing
