// Splitting of comma-separated symbol lists.
#include "common/split_list.h"

namespace tessary {

void SplitList(std::string_view text, char delimiter, std::vector<std::string_view>& pieces) {
    pieces.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace tessary
