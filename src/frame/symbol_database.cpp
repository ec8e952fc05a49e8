// The initialisation sequence and the database's lifetime.
#include "frame/symbol_database.h"

#include "frame/platform_session.h"

namespace tessary {

SymbolDatabase::~SymbolDatabase() {
    ClearGroupTree();
    ClearExchanges();
    ClearSymbolTables();
    ClearSearchIndex();
    LeavePlatformSession();
}

int SymbolDatabase::Init(const char* path) {
    if (Initialised == 1) return 1;

    // Whatever an earlier, failed run loaded goes first, so nothing of it stays reachable.
    ClearGroupTree();
    ClearExchanges();
    ClearSymbolTables();
    ClearSearchIndex();

    if (!EnterPlatformSession()) return 0;
    BasePath = path;

    if (LoadDirectory() == 0) return 0;
    if (LoadSymbolTables() == 0) return 0;
    if (BuildSearchIndex() == 0) return 0;
    if (LoadGroupTable() == 0) return 0;
    Initialised = 1;
    return 1;
}

}  // namespace tessary
