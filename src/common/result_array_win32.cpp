// Result arrays from the process heap. The host may be built with another C runtime than the
// library (Microsoft's, typically, where this library uses the system's msvcrt), so the blocks
// come from the one heap every runtime of the process shares: Microsoft's runtimes allocate
// from and release to the process heap, so a host can give a block back with its own delete[]
// as well as with TSYFree.
#include "common/result_array.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace tessary {

void* AllocateResultArray(std::uint64_t count, std::size_t recordSize) noexcept {
    const std::uint64_t size = count * recordSize;
    if (recordSize != 0 && size / recordSize != count) return nullptr;
    if (size > 0xFFFFFFFFull) return nullptr;
    const HANDLE heap = ::GetProcessHeap();
    if (heap == nullptr) return nullptr;
    // A zero-length request still gives a distinct, valid block.
    return ::HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
}

void FreeResultArray(void* block) noexcept {
    if (block == nullptr) return;
    ::HeapFree(::GetProcessHeap(), 0, block);
}

}  // namespace tessary
