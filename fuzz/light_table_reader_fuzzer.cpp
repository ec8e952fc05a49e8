// Fuzz target: the Light table reader, fed the bytes of one Light file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "symbols/light_table_reader.h"

using namespace tessary;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseDoubleByteLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    scratch.Reset();
    scratch.Write("SymTbl/1_Light", fuzz::AsText(data, size));

    ExchangeEntry exchange;
    exchange.Id = 1;
    std::memcpy(exchange.Code, "SH", 3);

    DiagnosticSink sink;
    ExchangeSymbolTable table;
    fuzz::ResetLargestAllocation();
    const bool loads = LoadSymbolTable(scratch.Path(), "1", exchange, &sink, table);
    fuzz::RequireAllocationsBoundedBy(size);
    fuzz::RequireVerdictExplained(loads, sink);

    ExchangeSymbolTable quiet;
    fuzz::Require(LoadSymbolTable(scratch.Path(), "1", exchange, nullptr, quiet) == loads &&
                      quiet.Symbols.size() == table.Symbols.size(),
                  "a Light file loads differently without diagnostics");
    // Records are whole: never more symbols than 353-byte records behind the header.
    fuzz::Require(table.Symbols.size() <= (size < 16 ? 0 : (size - 16) / 353), "more symbols than whole records");
    return 0;
}
