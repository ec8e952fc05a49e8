// The one place that allocates the arrays handed to the host, and the release that TSYFree
// exposes. Every query hands out its records through these two functions, so a host can always
// give an array back with TSYFree whichever query made it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessary {

// A zero-filled block for `count` records of `recordSize` bytes, or null when the block cannot
// be had. A size beyond 32 bits fails, as it would on the 32-bit platform. A count of 0 gives a
// valid, distinct block of zero length.
[[nodiscard]] void* AllocateResultArray(std::uint64_t count, std::size_t recordSize) noexcept;

// Releases a block from AllocateResultArray; null does nothing.
void FreeResultArray(void* block) noexcept;

}  // namespace tessary
