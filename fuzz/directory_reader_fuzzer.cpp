// Fuzz target: the exchange directory reader, fed the bytes of Directory.xml.
#include <cstddef>
#include <cstdint>

#include "directory/directory_reader.h"
#include "fuzz_support.h"

using namespace tessary;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseDoubleByteLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    scratch.Reset();
    scratch.Write("Directory.xml", fuzz::AsText(data, size));

    DiagnosticSink sink;
    ExchangeDirectory directory;
    fuzz::ResetLargestAllocation();
    const bool loads = LoadDirectory(scratch.Path(), &sink, directory);
    fuzz::RequireAllocationsBoundedBy(size);
    fuzz::RequireVerdictExplained(loads, sink);
    return 0;
}
