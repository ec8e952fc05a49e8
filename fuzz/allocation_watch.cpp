// Replaces the global allocation operators of a fuzz target's program with malloc-based ones
// that remember the largest request, so that a target can show that no input makes a reader ask
// for more than its size allows. Every non-aligned form is replaced, so blocks are always
// released by the allocator that made them (which AddressSanitizer checks).
#include <atomic>
#include <cstdlib>
#include <new>

#include "fuzz_support.h"

namespace {

std::atomic<std::size_t> largestRequest{0};

void* Allocate(std::size_t size) noexcept {
    std::size_t seen = largestRequest.load(std::memory_order_relaxed);
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace tessary::fuzz {

void ResetLargestAllocation() noexcept { largestRequest.store(0, std::memory_order_relaxed); }

void RequireAllocationsBoundedBy(std::size_t inputSize) {
    Require(largestRequest.load(std::memory_order_relaxed) <= kAllocationAllowance + 4 * inputSize,
            "an allocation larger than the input allows");
}

}  // namespace tessary::fuzz

void* operator new(std::size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
