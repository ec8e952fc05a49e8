// Reads every exchange's Light file into the symbol-table map.
//
// A Light file is a 16-byte header followed by 353-byte records up to its end. The file is read
// front to back through a window of a few megabytes and the records are taken from there; only
// whole records are read, so a file cut inside a record, or one of any other odd length, can
// never be read beyond its end.
#include "symbols/light_table_reader.h"

#include <cstring>
#include <string>

#include "common/data_file.h"
#include "common/decimal.h"
#include "common/text.h"

namespace tessary {
namespace {

constexpr std::int32_t kLightMagic = 207;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kRecordSize = 353;

// Offsets and widths of the text fields in a record, in SymbolField order.
struct FieldLayout {
    std::size_t Offset, Width;
};
constexpr FieldLayout kTextFields[kSymbolFieldCount] = {
    {0, 17}, {17, 49}, {66, 17}, {91, 65}, {156, 65}, {221, 49}, {270, 49}, {319, 17}, {336, 17}};
constexpr std::size_t kTypeOffset = 83;
constexpr std::size_t kAuxValueOffset = 87;
// How many records ahead the loader announces codes to the code table (see SymbolMap::Prefetch).
constexpr std::size_t kPrefetchRecords = 8;
// The records the loader wants in memory ahead of the one it takes: those it prefetches.
constexpr std::size_t kRecordsAhead = 2 * kPrefetchRecords + 1;

std::uint32_t LittleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads a 32-bit word into a preset value: a short read leaves the preset where bytes are missing.
std::uint32_t ReadWord(DataFile& file, std::uint32_t preset) {
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(preset >> (8 * i));
    (void)file.Read(bytes, sizeof bytes);
    return LittleEndian32(bytes);
}

// Reads one table through `file`, whose buffer the tables read one after another share.
bool LoadSymbolTable(DataRoot& dataDirectory, const std::string& key, const ExchangeEntry& exchange,
                     DiagnosticSink* diagnostics, DataFile& file, ExchangeSymbolTable& out) {
    const FileReport report(diagnostics, "SymTbl/" + key + "_Light");

    if (!file.Open(dataDirectory, report.File())) return report.Error(-1, 0, "cannot be opened: " + file.Problem());

    out.Magic = static_cast<std::int32_t>(ReadWord(file, 0xFFFFFFFFu));
    if (out.Magic != kLightMagic) {
        if (file.Length() < 4) return report.Error(0, 0, "is " + std::to_string(file.Length()) + " bytes long, too short for a header");
        return report.Error(0, 0, "magic is " + std::to_string(out.Magic) + ", expected 207");
    }
    out.HeaderValue[0] = ReadWord(file, 0);
    out.HeaderValue[1] = ReadWord(file, 0);
    out.RecordCount = ReadWord(file, 0);
    if (file.Length() < kHeaderSize)
        report.Warning(file.Length(), 0, "the file ends inside the 16-byte header; the missing header fields read as 0");

    const auto exchangeId = static_cast<std::uint16_t>(ParseDecimal(key));
    try {
        out.Symbols.SetExchangeCode(text::Trim(text::FieldText(exchange.Code, sizeof exchange.Code)));
        // Every whole record may bring a new code: reserving for all of them at once spares the
        // entries and the code table from growing while a million records go in.
        out.Symbols.Reserve(out.Symbols.size() + file.Left() / kRecordSize);
        std::int32_t serial = 1;
        std::uint32_t blankCodes = 0;
        std::uint32_t repeatedCodes = 0;
        for (;;) {
            if (!file.Fill(kRecordsAhead * kRecordSize))
                return report.Error(-1, 0, "cannot be opened: " + file.Problem());
            if (file.Left() < kRecordSize) break;
            const unsigned char* record = file.Here();
            if (file.Available() >= (kPrefetchRecords + 1) * kRecordSize) {
                const char* ahead = reinterpret_cast<const char*>(record) + kPrefetchRecords * kRecordSize;
                out.Symbols.Prefetch(text::Trim(text::FieldText(ahead, kTextFields[0].Width)));
            }
            if (file.Available() >= kRecordsAhead * kRecordSize) {
                const unsigned char* ahead = record + 2 * kPrefetchRecords * kRecordSize;
                for (std::size_t line = 0; line < kRecordSize; line += 64) __builtin_prefetch(ahead + line);
            }
            std::array<std::string_view, kSymbolFieldCount> fields;
            for (std::size_t i = 0; i < kSymbolFieldCount; ++i)
                fields[i] = text::FieldText(reinterpret_cast<const char*>(record) + kTextFields[i].Offset,
                                            kTextFields[i].Width);
            bool created = false;
            SymbolEntry& entry = out.Symbols.Store(fields, created);
            if (!created) ++repeatedCodes;
            if (entry.TrimmedCode().empty()) ++blankCodes;

            entry.ExchangeId = exchangeId;
            entry.Type = static_cast<std::int32_t>(LittleEndian32(record + kTypeOffset));
            entry.AuxValue = static_cast<std::int32_t>(LittleEndian32(record + kAuxValueOffset));
            entry.Serial = serial++;
            file.Skip(kRecordSize);
        }
        if (file.Left() != 0)
            report.Warning(static_cast<std::int64_t>(file.Position()), 0,
                           "the last " + std::to_string(file.Left()) + " bytes are not a whole record of 353 bytes and are ignored");
        if (out.RecordCount != static_cast<std::uint32_t>(serial - 1))
            report.Warning(12, 0, "the header counts " + std::to_string(out.RecordCount) + " records, the file holds " +
                         std::to_string(serial - 1));
        if (repeatedCodes != 0)
            report.Warning(-1, 0, std::to_string(repeatedCodes) + " records repeat an earlier code and replace its symbol");
        if (blankCodes != 0)
            report.Warning(-1, 0, std::to_string(blankCodes) + " records have a blank code; searches that find them fail");
    } catch (const std::bad_alloc&) {
        return report.Error(-1, 0, "out of memory");
    }
    return true;
}

}  // namespace

bool LoadSymbolTable(DataRoot& dataDirectory, const std::string& key, const ExchangeEntry& exchange,
                     DiagnosticSink* diagnostics, ExchangeSymbolTable& out, std::size_t windowBytes) {
    DataFile file;
    file.SetWindow(windowBytes);
    return LoadSymbolTable(dataDirectory, key, exchange, diagnostics, file, out);
}

bool LoadSymbolTable(const std::string& dataDirectory, const std::string& key, const ExchangeEntry& exchange,
                     DiagnosticSink* diagnostics, ExchangeSymbolTable& out, std::size_t windowBytes) {
    DataRoot root(dataDirectory);
    return LoadSymbolTable(root, key, exchange, diagnostics, out, windowBytes);
}

bool LoadSymbolTables(const std::string& dataDirectory, const ExchangeMap& exchanges, DiagnosticSink* diagnostics,
                      SymbolTables& out) {
    DataRoot root(dataDirectory);
    return LoadSymbolTables(root, exchanges, diagnostics, out);
}

bool LoadSymbolTables(DataRoot& dataDirectory, const ExchangeMap& exchanges, DiagnosticSink* diagnostics,
                      SymbolTables& out) {
    // One window for every file, gone before the search index is built from the tables.
    DataFile file;
    file.SetWindow(kLightWindowBytes);
    for (const auto& [key, exchange] : exchanges) {
        ExchangeSymbolTable* table = FindOrCreateRecord(out, key);
        if (table == nullptr) return FileReport(diagnostics, "SymTbl/" + key + "_Light").Error(-1, 0, "out of memory");
        if (!LoadSymbolTable(dataDirectory, key, *exchange, diagnostics, file, *table)) return false;
    }
    return true;
}

}  // namespace tessary
