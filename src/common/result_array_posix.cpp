// Result arrays from the C++ runtime's array allocation, so that a C++ host linked against the
// same runtime may also release them with delete[].
#include "common/result_array.h"

#include "common/memory_advice.h"

#include <cstring>
#include <new>

namespace tessary {

void* AllocateResultArray(std::uint64_t count, std::size_t recordSize) noexcept {
    const std::uint64_t size = count * recordSize;
    if (recordSize != 0 && size / recordSize != count) return nullptr;
    if (size > 0xFFFFFFFFull) return nullptr;
    auto* block = new (std::nothrow) unsigned char[static_cast<std::size_t>(size)];
    if (block == nullptr) return nullptr;
    // A search that hits half a large market hands out tens of megabytes, fresh from the system:
    // in large pages they are faulted in a few dozen steps instead of thousands.
    AdviseLargePages(block, static_cast<std::size_t>(size));
    std::memset(block, 0, static_cast<std::size_t>(size));
    return block;
}

void FreeResultArray(void* block) noexcept { delete[] static_cast<unsigned char*>(block); }

}  // namespace tessary
