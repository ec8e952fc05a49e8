// The search index: one SymbolIndexRecord per exchange key.
#pragma once

namespace tessary {

struct SymbolIndexRecord {};

}  // namespace tessary
