// Loading beside the current database, and swapping the new one in.
#include "database/current_database.h"

#include <new>
#include <utility>

namespace tessary {

std::shared_ptr<const SymbolDatabase> CurrentDatabase::Get() const {
    const std::lock_guard<std::mutex> lock(pointerMutex_);
    return current_;
}

bool CurrentDatabase::Init(const char* path, std::string& reason) {
    const std::lock_guard<std::mutex> load(loadMutex_);
    if (Get()) return true;
    std::shared_ptr<const SymbolDatabase> loaded = Load(path, reason);
    if (!loaded) return false;
    const std::lock_guard<std::mutex> lock(pointerMutex_);
    current_ = std::move(loaded);
    return true;
}

bool CurrentDatabase::Reload(const char* path, std::string& reason) {
    const std::lock_guard<std::mutex> load(loadMutex_);
    std::shared_ptr<const SymbolDatabase> next = Load(path, reason);
    if (!next) return false;
    {
        const std::lock_guard<std::mutex> lock(pointerMutex_);
        current_.swap(next);
    }
    // `next` now holds the replaced database: it is freed here, outside the pointer's lock,
    // unless queries still use it, in which case the last of them frees it.
    return true;
}

std::shared_ptr<const SymbolDatabase> CurrentDatabase::Load(const char* path, std::string& reason) {
    try {
        auto database = std::make_shared<SymbolDatabase>();
        DiagnosticSink sink;
        sink.ErrorsOnly = true;
        if (database->Init(path, &sink)) return database;
        reason = "the data directory does not load";
        for (const Diagnostic& d : sink.Items) {
            if (d.Level != Diagnostic::Severity::Error) continue;
            reason = Describe(d);
            break;
        }
    } catch (const std::bad_alloc&) {
        reason = "there is not enough memory to load the data directory";
    }
    return nullptr;
}

}  // namespace tessary
