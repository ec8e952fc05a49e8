// The one place that allocates the arrays handed to the host, and the release that TSYFree
// exposes. Every query hands out its records through HandOutResultArray, so a host can always
// give an array back with TSYFree whichever query made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessary {

// A zero-filled block for `count` records of `recordSize` bytes, or null when the block cannot
// be had. A size beyond 32 bits fails, as it would on the 32-bit platform. A count of 0 gives a
// valid, distinct block of zero length.
[[nodiscard]] void* AllocateResultArray(std::uint64_t count, std::size_t recordSize) noexcept;

// Releases a block from AllocateResultArray; null does nothing.
void FreeResultArray(void* block) noexcept;

// Allocates `count` zero-filled records, lets `fill(record, i)` write record i, then stores the
// array in *out and the count in *count (when count is not null). False, with nothing written,
// when the block cannot be had; a `fill` that throws takes the block back with it.
template <class Record, class Fill>
[[nodiscard]] bool HandOutResultArray(std::size_t count, Fill&& fill, Record** out, std::int32_t* countOut) {
    struct Release {
        void operator()(Record* block) const noexcept { FreeResultArray(block); }
    };
    std::unique_ptr<Record, Release> records(static_cast<Record*>(AllocateResultArray(count, sizeof(Record))));
    if (records == nullptr) return false;
    for (std::size_t i = 0; i < count; ++i) fill(records.get()[i], i);
    *out = records.release();
    if (countOut != nullptr) *countOut = static_cast<std::int32_t>(count);
    return true;
}

}  // namespace tessary
