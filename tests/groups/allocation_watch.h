// Watches the size of the largest single allocation request of the groups test executable, so
// that tests can show a damaged length never turns into a huge allocation.
#pragma once

#include <cstddef>

namespace tessary::testing {

// Forgets the requests seen so far.
void ResetLargestAllocation() noexcept;

// The largest request made through operator new or new[] since the last reset.
[[nodiscard]] std::size_t LargestAllocation() noexcept;

}  // namespace tessary::testing
