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

void PrepareForWriting(void* data, std::size_t size) noexcept {
    // The whole small pages inside the block: the pages it shares with its neighbours may hold
    // their data and are left alone.
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + size) & ~(kPage - 1);
    if (data == nullptr || last <= first) return;
#if defined(MADV_POPULATE_WRITE)
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#endif
}

}  // namespace tessary
