// Large-page hints through madvise: transparent huge pages are often granted only on request.
#include "common/memory_advice.h"

#include <sys/mman.h>

#include <cstdint>

namespace tessary {

void AdviseLargePages(void* data, std::size_t size) noexcept {
    // Only the whole 2 MiB pages inside the block can become large pages; the advice covers
    // exactly those, so no byte outside the block is touched by it.
    constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kLargePage - 1);
    if (data == nullptr || last <= first) return;
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace tessary
