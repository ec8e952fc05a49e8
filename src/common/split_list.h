// Splitting of comma-separated symbol lists.
#pragma once

#include <string_view>
#include <vector>

namespace tessary {

// Replaces `pieces` with the pieces of `text` between occurrences of `delimiter`, in order.
// Empty pieces are left out; pieces are not trimmed, so a blank after a delimiter stays at the
// front of the next piece. The pieces point into `text`.
void SplitList(std::string_view text, char delimiter, std::vector<std::string_view>& pieces);

}  // namespace tessary
