// Large-page hints on Windows: none, since large pages there need a privilege that hosts rarely
// hold.
#include "common/memory_advice.h"

namespace tessary {

void AdviseLargePages(void*, std::size_t) noexcept {}

void PrepareForWriting(void*, std::size_t) noexcept {}

}  // namespace tessary
