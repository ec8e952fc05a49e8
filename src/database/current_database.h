// The database the exports answer from, and how a load replaces it while queries run.
//
// Every query takes a reference to the current database for its duration, so it sees one
// database from start to end, and that database lives until the last query using it ends. A
// load builds a new database beside the current one and swaps it in only when it loads; the
// lock around the pointer is held just long enough to copy or swap it, so no query waits for a
// load and no load waits for a query.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "database/symbol_database.h"

namespace tessary {

class CurrentDatabase {
public:
    // The current database, or null before the first successful load.
    [[nodiscard]] std::shared_ptr<const SymbolDatabase> Get() const;

    // The once-per-process load: true at once when a database is current (the path is then
    // ignored); otherwise loads `path` and makes it current. On false, `reason` says why.
    [[nodiscard]] bool Init(const char* path, std::string& reason);

    // Loads `path` beside the current database and, when it loads, makes it current; when it
    // does not, the current one stays as it was and `reason` says why. Reloads run one at a time.
    [[nodiscard]] bool Reload(const char* path, std::string& reason);

private:
    [[nodiscard]] static std::shared_ptr<const SymbolDatabase> Load(const char* path, std::string& reason);

    mutable std::mutex pointerMutex_;  // guards current_ alone, never held during a load
    std::mutex loadMutex_;             // one load at a time
    std::shared_ptr<const SymbolDatabase> current_;
};

}  // namespace tessary
