// Fuzz target: the exchange directory reader, fed the bytes of Directory.xml.
#include <cstddef>
#include <cstdint>

#include "directory/directory_reader.h"
#include "fuzz_support.h"

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DiagnosticSink sink;
    ExchangeDirectory directory;
    (void)fuzz::LoadOneFile("Directory.xml", data, size, sink, [&](const std::string& path, DiagnosticSink& s) {
        return LoadDirectory(path, &s, directory);
    });
    return 0;
}
