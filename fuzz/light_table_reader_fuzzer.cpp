// Fuzz target: the Light table reader, fed the bytes of one Light file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "symbols/light_table_reader.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExchangeEntry exchange;
    exchange.Id = 1;
    std::memcpy(exchange.Code, "SH", 3);

    DiagnosticSink sink;
    ExchangeSymbolTable table;
    const bool loads = fuzz::LoadOneFile("SymTbl/1_Light", data, size, sink,
                                         [&](const std::string& path, DiagnosticSink& s) {
                                             return LoadSymbolTable(path, "1", exchange, &s, table);
                                         });
    const std::string& scratchPath = fuzz::ScratchDirectory::Get().Path();

    // Read again through a small window of the input's choosing: the same symbols, in order.
    ExchangeSymbolTable quiet;
    const std::size_t window = size == 0 ? 1 : 1 + data[size - 1] % 1024;
    fuzz::Require(LoadSymbolTable(scratchPath, "1", exchange, nullptr, quiet, window) == loads &&
                      quiet.Symbols.size() == table.Symbols.size(),
                  "a Light file loads differently without diagnostics or through a small window");
    for (std::size_t i = 0; i < table.Symbols.size(); ++i)
        fuzz::Require(quiet.Symbols[i].Name() == table.Symbols[i].Name() &&
                          quiet.Symbols[i].Serial == table.Symbols[i].Serial &&
                          quiet.Symbols.CodeAt(i) == table.Symbols.CodeAt(i),
                      "a Light file loads differently through a small window");
    // Records are whole: never more symbols than 353-byte records behind the header.
    fuzz::Require(table.Symbols.size() <= (size < 16 ? 0 : (size - 16) / 353), "more symbols than whole records");
    return 0;
}
