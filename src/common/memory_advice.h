// Hints to the platform's memory manager about the large blocks a load fills.
#pragma once

#include <cstddef>

namespace tessary {

// Asks for large pages behind the block at `data` of `size` bytes, best before the block is first
// touched: a block of hundreds of megabytes is then faulted in a few hundred steps instead of
// tens of thousands, and read at random with fewer address-translation misses. Only a hint: where
// the platform offers none or declines, nothing changes. Blocks under a few megabytes are left
// alone.
void AdviseLargePages(void* data, std::size_t size) noexcept;

// Asks the platform to give the block at `data` of `size` bytes its memory now, in one step,
// rather than a page at a time as it is first written: for a block that is about to be filled.
// Only a hint, as above.
void PrepareForWriting(void* data, std::size_t size) noexcept;

}  // namespace tessary
