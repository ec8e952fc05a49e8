// A host program for the scenario comparison: loads the library the way a host does (by file
// name, finding the exports by their plain names), replays a fixed set of calls on one or more
// data directories and prints every result and every record byte by byte. Built once for Linux
// against libtessary.so and once for Windows against tessary.dll; the two outputs of the same
// scenarios must be identical, byte for byte.
//
//   scenario_host LIBRARY DIR...          one TSYInit per DIR, in this process, then the queries;
//                                         with several DIRs, then one TSYReload per DIR
//   scenario_host --windows LIBRARY DIR   the checks that only Windows has (apartments, sharing,
//                                         heaps, unloading); Windows builds only
//
// A file DIR.queries beside a data directory adds calls, one a line: "find TEXT", "info TEXT"
// or "infos TEXT" (TEXT in the scenario's code page, raw bytes to the line end).
// Nothing printed depends on the platform: no addresses, no paths, no times.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tessary.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <windows.h>
// Last: it defines macros (_S1, ...) that clash with names in the C++ headers.
#include <mbctype.h>
#else
#include <dlfcn.h>

#include <clocale>
#endif

namespace {

// ---- Loading the library ----

// The exports the scenarios call, each bound by its plain name.
#define TESSARY_EXPORTS(X) \
    X(Init) X(GetExch) X(GetGroupSymbol) X(GetSubGroup) X(GetSymbolInfo) X(GetSymbolInfos) \
        X(GetSymbolInfos2) X(FindSymbol) X(FindSymbol2) X(FindSymbolTop) X(Free) X(Reload) X(LastError)

struct Exports {
#define TESSARY_DECLARE(name) decltype(&TSY##name) name = nullptr;
    TESSARY_EXPORTS(TESSARY_DECLARE)
#undef TESSARY_DECLARE
};

#if defined(_WIN32)
using LibraryHandle = HMODULE;
LibraryHandle OpenLibrary(const char* path) { return ::LoadLibraryA(path); }
void* Symbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(library, name));
}
void CloseLibrary(LibraryHandle library) { ::FreeLibrary(library); }
#else
using LibraryHandle = void*;
LibraryHandle OpenLibrary(const char* path) { return ::dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void* Symbol(LibraryHandle library, const char* name) { return ::dlsym(library, name); }
void CloseLibrary(LibraryHandle library) { ::dlclose(library); }
#endif

template <class F>
bool Bind(LibraryHandle library, const char* name, F& function) {
    void* address = Symbol(library, name);
    if (address == nullptr) {
        std::fprintf(stderr, "export %s is missing\n", name);
        return false;
    }
    function = reinterpret_cast<F>(address);
    return true;
}

bool BindAll(LibraryHandle library, Exports& x) {
    bool ok = true;
#define TESSARY_BIND(name) ok &= Bind(library, "TSY" #name, x.name);
    TESSARY_EXPORTS(TESSARY_BIND)
#undef TESSARY_BIND
    return ok;
}

// ---- Printing ----

std::string Quote(const char* text) {
    if (text == nullptr) return "NULL";
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out + "\"";
}

std::string Hex(const void* data, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

void Line(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// Runs `call(&array, &count)` (count NULL when not `countAsked`) with both outputs preset, prints
// the result and, for an array, every record's bytes, and returns the records. A result of 0 must
// leave the preset values alone; anything else is printed as a fault.
template <class Record, class Call>
std::vector<Record> Query(const Exports& x, const std::string& label, const Call& call,
                          bool countAsked = true) {
    Record sentinel{};
    Record* array = &sentinel;
    std::int32_t count = -7;
    const std::int32_t r = call(&array, countAsked ? &count : nullptr);
    std::vector<Record> records;
    if (r == 0) {
        const bool untouched = array == &sentinel && (!countAsked || count == -7);
        Line(label + " -> 0" + (untouched ? "" : " WROTE-OUTPUTS"));
        return records;
    }
    Line(label + " -> " + std::to_string(r) + " count=" + (countAsked ? std::to_string(count) : "-"));
    if (countAsked && array != nullptr) records.assign(array, array + count);
    for (const Record& record : records) Line("  " + Hex(&record, sizeof record));
    x.Free(array);
    return records;
}

std::string Args(std::int32_t a, const std::string& b) { return "(" + std::to_string(a) + ", " + b + ")"; }

// The calls, each printed as the export's name and its arguments.
class Session {
public:
    explicit Session(const Exports& x) : x_(x) {}

    std::vector<ExchangeInfo> GetExch() {
        return Query<ExchangeInfo>(x_, "TSYGetExch", [&](auto a, auto n) { return x_.GetExch(a, n); });
    }

    std::vector<SymbolInfo> GetSymbolInfos2(std::int32_t id, std::int32_t type) {
        return Query<SymbolInfo>(x_, "TSYGetSymbolInfos2" + Args(id, std::to_string(type)),
                                 [&](auto a, auto n) { return x_.GetSymbolInfos2(id, type, a, n); });
    }

    void GetSymbolInfo(const char* symbol) {
        SymbolInfo info;
        std::memset(&info, 0xA5, sizeof info);  // shows which fields the call writes
        const std::int32_t r = x_.GetSymbolInfo(symbol, &info);
        Line("TSYGetSymbolInfo(" + Quote(symbol) + ") -> " + std::to_string(r));
        Line("  " + Hex(&info, sizeof info));
    }

    void GetSymbolInfos(const char* symbols, bool countAsked = true) {
        Query<SymbolInfo>(x_, "TSYGetSymbolInfos(" + Quote(symbols) + ")",
                          [&](auto a, auto n) { return x_.GetSymbolInfos(symbols, a, n); }, countAsked);
    }

    void FindSymbol(const char* text, std::int32_t keys, bool countAsked = true) {
        Query<SymbolInfo>(x_, "TSYFindSymbol(" + Quote(text) + ", " + std::to_string(keys) + ")",
                          [&](auto a, auto n) { return x_.FindSymbol(text, a, n, keys); }, countAsked);
    }

    void FindSymbol2(const char* text, const char* key, std::int32_t keys) {
        const std::string label =
            "TSYFindSymbol2(" + Quote(text) + ", " + Quote(key) + ", " + std::to_string(keys) + ")";
        Query<SymbolInfo>(x_, label, [&](auto a, auto n) { return x_.FindSymbol2(text, key, a, n, keys); });
    }

    // The top of a search, with the total printed after the count (or "-" when not asked).
    void FindSymbolTop(const char* text, const char* key, std::int32_t keys, std::int32_t limit,
                       bool totalAsked = true) {
        std::int32_t total = -9;
        const std::string label = "TSYFindSymbolTop(" + Quote(text) + ", " + Quote(key) + ", " +
                                  std::to_string(keys) + ", " + std::to_string(limit) + ")";
        Query<SymbolInfo>(x_, label, [&](auto a, auto n) {
            const std::int32_t r = x_.FindSymbolTop(text, key, keys, limit, a, n, totalAsked ? &total : nullptr);
            Line("  total=" + (totalAsked ? std::to_string(total) : std::string("-")));
            return r;
        });
    }

    std::vector<SubGroupInfo> GetSubGroup(std::int32_t group, const char* code) {
        return Query<SubGroupInfo>(x_, "TSYGetSubGroup" + Args(group, Quote(code)),
                                   [&](auto a, auto n) { return x_.GetSubGroup(group, code, a, n); });
    }

    void GetGroupSymbol(std::int32_t group, const char* code) {
        Query<SymbolInfo>(x_, "TSYGetGroupSymbol" + Args(group, Quote(code)),
                          [&](auto a, auto n) { return x_.GetGroupSymbol(group, code, a, n); });
    }

private:
    const Exports& x_;
};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct ExtraQuery {
    std::string Verb, Text;
};

// The extra calls of a scenario, from the file DIR.queries when there is one.
std::vector<ExtraQuery> ReadQueries(const std::string& path) {
    std::vector<ExtraQuery> queries;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        queries.push_back({line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)});
    }
    return queries;
}

// Every query while the library is not initialised: each must answer 0 and write nothing.
void QueriesBeforeInit(Session& s) {
    s.GetExch();
    s.GetSymbolInfos2(1, -1);
    s.GetSymbolInfo("600000.SH");
    s.GetSymbolInfos("600000.SH");
    s.FindSymbol("60", 1);
    s.FindSymbol2("60", "1", 1);
    s.FindSymbolTop("60", nullptr, 1, 20);
    s.GetSubGroup(1, "");
    s.GetGroupSymbol(1, "");
}

void AllQueries(Session& s, const Exports& x, const std::vector<ExtraQuery>& extra) {
    const std::vector<ExchangeInfo> exchanges = s.GetExch();
    {
        ExchangeInfo sentinel{};
        ExchangeInfo* list = &sentinel;
        const std::int32_t r = x.GetExch(&list, nullptr);
        Line("TSYGetExch(count NULL) -> " + std::to_string(r) +
             (r == 0 && list != &sentinel ? " WROTE-OUTPUTS" : ""));
        if (r != 0) x.Free(list);
    }

    // Symbol information: every symbol of every exchange, by type, and one at a time.
    std::vector<std::string> symbols;
    for (const ExchangeInfo& exchange : exchanges) {
        const std::vector<SymbolInfo> all = s.GetSymbolInfos2(exchange.Id, -1);
        std::set<std::int32_t> types;
        for (const SymbolInfo& info : all) {
            types.insert(info.Type);
            symbols.emplace_back(info.Symbol, strnlen(info.Symbol, sizeof info.Symbol));
        }
        for (const std::int32_t type : types) s.GetSymbolInfos2(exchange.Id, type);
        s.GetSymbolInfos2(exchange.Id, 12345);
    }
    s.GetSymbolInfos2(9999, -1);
    s.GetSymbolInfos2(-1, -1);

    std::string list;
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        const std::string& symbol = symbols[i];
        s.GetSymbolInfo(symbol.c_str());
        if (i % 7 == 0) {
            s.GetSymbolInfo(Lower(symbol).c_str());
            const std::size_t dot = symbol.rfind('.');
            if (dot != std::string::npos) {
                s.GetSymbolInfo((symbol.substr(0, dot) + Lower(symbol.substr(dot))).c_str());
                s.GetSymbolInfo(symbol.substr(0, dot).c_str());
                s.GetSymbolInfo(symbol.substr(0, dot + 1).c_str());
                s.GetSymbolInfo(symbol.substr(dot).c_str());
            }
        }
        if (i % 5 == 0) list += Lower(symbol) + (i % 10 == 0 ? ",NOPE.XX," : ",");
    }
    s.GetSymbolInfo("NOPE.SH");
    s.GetSymbolInfo("");
    {
        SymbolInfo* none = nullptr;
        Line("TSYGetSymbolInfo(info NULL) -> " + std::to_string(x.GetSymbolInfo("600000.SH", none)));
    }
    s.GetSymbolInfos(list.c_str());
    s.GetSymbolInfos(list.c_str(), false);
    s.GetSymbolInfos("");
    s.GetSymbolInfos(",,,");
    s.GetSymbolInfos(nullptr);

    // Searches over every exchange and in each one.
    std::vector<std::string> fragments = {"", "6", "60", "00", "A", "a", "BANK", "Bank", ".", "NOMATCHATALL"};
    for (std::size_t i = 0; i < symbols.size(); i += 23) {
        fragments.push_back(symbols[i]);
        fragments.push_back(Lower(symbols[i]));
        fragments.push_back(symbols[i].substr(0, 3));
    }
    for (const ExtraQuery& q : extra)
        if (q.Verb == "find") fragments.push_back(q.Text);
    for (const std::string& fragment : fragments) {
        s.FindSymbol(fragment.c_str(), 0);
        s.FindSymbol(fragment.c_str(), 1);
    }
    s.FindSymbol("60", 1, false);
    for (const ExchangeInfo& exchange : exchanges) {
        const std::string key = std::to_string(exchange.Id);
        for (std::size_t i = 0; i < fragments.size(); i += 2)
            s.FindSymbol2(fragments[i].c_str(), key.c_str(), 1);
        s.FindSymbol2("6", key.c_str(), 0);
    }
    s.FindSymbol2("60", "999", 1);
    s.FindSymbol2("60", "", 1);

    // The top of the same searches: its records must be the first of the full answers above.
    for (std::size_t i = 0; i < fragments.size(); ++i)
        s.FindSymbolTop(fragments[i].c_str(), nullptr, static_cast<std::int32_t>(i % 2), i % 3 == 0 ? 1 : 20);
    if (!exchanges.empty()) {
        const std::string key = std::to_string(exchanges.back().Id);
        s.FindSymbolTop("6", key.c_str(), 0, 5);
        s.FindSymbolTop("a", key.c_str(), 1, 5, false);
    }
    s.FindSymbolTop("60", "999", 1, 20);
    s.FindSymbolTop("60", nullptr, 1, 0);
    s.FindSymbolTop("60", nullptr, 1, -1);
    s.FindSymbolTop(nullptr, nullptr, 1, 20);

    for (const ExtraQuery& q : extra) {
        if (q.Verb == "info") s.GetSymbolInfo(q.Text.c_str());
        if (q.Verb == "infos") s.GetSymbolInfos(q.Text.c_str());
    }

    // The group tree, walked from the group numbers a data directory can hold.
    for (const std::int32_t group : {0, 1, 2, 3, 4, 5, 7, 65535, 65536 + 1, -1}) {
        const std::vector<SubGroupInfo> subs = s.GetSubGroup(group, "");
        s.GetSubGroup(group, nullptr);
        s.GetSubGroup(group, "NOPE");
        s.GetGroupSymbol(group, "NOPE");
        s.GetGroupSymbol(group, "");
        for (const SubGroupInfo& sub : subs) {
            const std::string code(sub.Code, strnlen(sub.Code, sizeof sub.Code));
            if (sub.IsBranch == 0) {
                s.GetGroupSymbol(group, code.c_str());
                continue;
            }
            const std::vector<SubGroupInfo> leaves = s.GetSubGroup(group, code.c_str());
            s.GetSubGroup(group, Lower(code).c_str());
            for (const SubGroupInfo& leaf : leaves) {
                const std::string leafCode(leaf.Code, strnlen(leaf.Code, sizeof leaf.Code));
                s.GetGroupSymbol(group, leafCode.c_str());
                s.GetGroupSymbol(group, Lower(leafCode).c_str());
            }
        }
    }
}

std::string BaseName(const std::string& path) {
    const std::size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

int RunScenarios(const Exports& x, int argc, char** argv) {
    Session session(x);
    Line("== before TSYInit");
    QueriesBeforeInit(session);
    for (int i = 0; i < argc; ++i) {
        const std::string dir = argv[i];
        Line("== " + BaseName(dir));
        const TSYString path{dir.c_str()};
        const std::int32_t r = x.Init(&path);
        Line("TSYInit -> " + std::to_string(r));
        if (r == 0) {
            QueriesBeforeInit(session);
            continue;
        }
        AllQueries(session, x, ReadQueries(dir + ".queries"));
        const TSYString other{"no-such-directory"};
        Line("TSYInit(again, other path) -> " + std::to_string(x.Init(&other)));
        session.GetExch();
    }
    Line("TSYInit(NULL) -> " + std::to_string(x.Init(nullptr)));
    if (argc < 2) return 0;

    // Each directory in turn replaces the data, or fails and leaves the data as it was. The
    // reasons' words differ between the platforms' XML parsers: only their presence is printed.
    for (int i = 0; i < argc; ++i) {
        const std::string dir = argv[i];
        Line("== reload " + BaseName(dir));
        const std::int32_t r = x.Reload(dir.c_str());
        Line("TSYReload -> " + std::to_string(r) + ", reason " + (*x.LastError() == '\0' ? "empty" : "given"));
        if (r == 1)
            AllQueries(session, x, ReadQueries(dir + ".queries"));
        else
            session.GetExch();
    }
    Line("TSYReload(NULL) -> " + std::to_string(x.Reload(nullptr)));
    return 0;
}

#if defined(_WIN32)

// ---- Windows only ----

bool g_failed = false;

void Check(bool ok, const std::string& what) {
    Line(std::string(ok ? "ok   " : "FAIL ") + what);
    if (!ok) g_failed = true;
}

struct InitOnThread {
    const Exports* X;
    const char* Dir;
    DWORD Apartment;  // COINIT_* or ~0u for none
    std::int32_t Result = -1;
    std::int32_t ExchResult = -1;
    HRESULT AfterInit = E_FAIL;
};

DWORD WINAPI InitThread(void* parameter) {
    auto* job = static_cast<InitOnThread*>(parameter);
    bool joined = false;
    if (job->Apartment != ~0u) joined = SUCCEEDED(::CoInitializeEx(nullptr, job->Apartment));
    const TSYString path{job->Dir};
    job->Result = job->X->Init(&path);
    ExchangeInfo* list = nullptr;
    std::int32_t count = 0;
    job->ExchResult = job->X->GetExch(&list, &count);
    if (job->ExchResult != 0) job->X->Free(list);
    if (joined) ::CoUninitialize();
    // After the host's own membership is given back, a new CoInitialize must be the first one
    // again (S_OK): the library left none of its own behind.
    job->AfterInit = ::CoInitialize(nullptr);
    if (SUCCEEDED(job->AfterInit)) ::CoUninitialize();
    return 0;
}

InitOnThread RunOnThread(const Exports& x, const char* dir, DWORD apartment) {
    InitOnThread job{&x, dir, apartment};
    const HANDLE thread = ::CreateThread(nullptr, 0, InitThread, &job, 0, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return job;
}

// Holds `file` open in another process until told to let go.
int HoldFile(const char* file, const char* readyName, const char* releaseName) {
    const HANDLE handle = ::CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
    const HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, releaseName);
    if (ready != nullptr) ::SetEvent(ready);
    if (release != nullptr) ::WaitForSingleObject(release, 60000);
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    return handle == INVALID_HANDLE_VALUE ? 1 : 0;
}

int WindowsChecks(const char* libraryPath, const char* dir) {
    const std::string lightFile = std::string(dir) + "\\SymTbl\\1_Light";
    {
        const HMODULE library = ::LoadLibraryA(libraryPath);
        Exports x;
        if (library == nullptr || !BindAll(library, x)) return 2;

        // A thread in the multithreaded apartment cannot host the reader's apartment.
        InitOnThread mta = RunOnThread(x, dir, COINIT_MULTITHREADED);
        Check(mta.Result == 0 && mta.ExchResult == 0, "TSYInit on a multithreaded-apartment thread fails");

        // A data file held open by another process fails the load; once let go, it loads.
        char self[MAX_PATH];
        ::GetModuleFileNameA(nullptr, self, sizeof self);
        const std::string tag = std::to_string(::GetCurrentProcessId());
        const std::string readyName = "TessaryHostReady" + tag, releaseName = "TessaryHostRelease" + tag;
        const HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
        const HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
        std::string command =
            "\"" + std::string(self) + "\" --hold \"" + lightFile + "\" " + readyName + " " + releaseName;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION holder{};
        const bool started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                              nullptr, &startup, &holder) != 0;
        Check(started && ::WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0,
              "another process holds a Light file open");
        const InitOnThread held = RunOnThread(x, dir, ~0u);
        Check(held.Result == 0, "TSYInit fails while another process holds a data file open");
        const bool reloadRefused = x.Reload(dir) == 0;
        const std::string reason = x.LastError();
        Check(reloadRefused && reason.find("another process has it open") != std::string::npos,
              "TSYReload fails too, and says why: " + reason);
        ::SetEvent(release);
        if (started) {
            ::WaitForSingleObject(holder.hProcess, 60000);
            ::CloseHandle(holder.hProcess);
            ::CloseHandle(holder.hThread);
        }
        ::CloseHandle(ready);
        ::CloseHandle(release);

        // A thread already in a single-threaded apartment loads, and keeps its own membership.
        const InitOnThread sta = RunOnThread(x, dir, COINIT_APARTMENTTHREADED);
        Check(sta.Result == 1 && sta.ExchResult == 1,
              "TSYInit on a single-threaded-apartment thread succeeds");
        Check(sta.AfterInit == S_OK, "TSYInit leaves no COM initialisation behind");

        // Result arrays come from the process heap: a host's runtime can give them back there.
        ExchangeInfo* list = nullptr;
        std::int32_t count = 0;
        const bool got = x.GetExch(&list, &count) == 1 && count > 0;
        Check(got && ::HeapValidate(::GetProcessHeap(), 0, list) != 0,
              "result arrays are process-heap blocks");
        Check(got && ::HeapFree(::GetProcessHeap(), 0, list) != 0,
              "a result array is released with HeapFree");
        SymbolInfo* none = nullptr;
        Check(x.GetSymbolInfos("", &none, &count) == 1 && count == 0 && none != nullptr &&
                  ::HeapSize(::GetProcessHeap(), 0, none) == 0,
              "an empty result is a zero-length process-heap block");
        x.Free(none);
        x.Free(nullptr);

        // Unloading an initialised library runs its shut-down without calling into COM.
        Check(::FreeLibrary(library) != 0, "the initialised library unloads");
    }
    {
        // Loaded again, it starts uninitialised.
        const HMODULE library = ::LoadLibraryA(libraryPath);
        Exports x;
        Check(library != nullptr && BindAll(library, x), "the library loads again");
        if (library != nullptr) {
            ExchangeInfo* list = nullptr;
            Check(x.GetExch(&list, nullptr) == 0, "a reloaded library is not initialised");
            Check(::FreeLibrary(library) != 0, "the library unloads without TSYInit");
        }
    }
    Check(::_getmbcp() == static_cast<int>(::GetACP()) || ::_getmbcp() == 0,
          "the runtime's multibyte code page follows the ANSI code page");
    return g_failed ? 1 : 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    ::_setmode(::_fileno(stdout), _O_BINARY);
    if (argc == 5 && std::strcmp(argv[1], "--hold") == 0) return HoldFile(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::strcmp(argv[1], "--windows") == 0) {
        const int rc = WindowsChecks(argv[2], argv[3]);
        std::fflush(stdout);
        return rc;
    }
#else
    // The test's character set comes from the environment (LC_ALL / LC_CTYPE), as a Windows
    // process takes its ANSI code page from the system.
    std::setlocale(LC_CTYPE, "");
#endif
    if (argc < 2) {
        std::fprintf(stderr, "usage: scenario_host LIBRARY DIR...\n");
        return 2;
    }
    const LibraryHandle library = OpenLibrary(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    Exports x;
    if (!BindAll(library, x)) return 2;
    const int rc = RunScenarios(x, argc - 2, argv + 2);
    std::fflush(stdout);
    CloseLibrary(library);
    return rc;
}
