// The text operations that do not depend on the platform's character set support.
#include "common/text.h"

#include <cctype>
#include <cstring>

namespace tessary::text {

void CopyField(char* field, std::size_t width, std::string_view src) noexcept {
    if (width == 0) return;
    const std::string_view fitted = CutToFit(src, width - 1);
    std::memcpy(field, fitted.data(), fitted.size());
    field[fitted.size()] = '\0';
}

std::string_view FieldText(const char* field, std::size_t width) noexcept {
    const void* nul = std::memchr(field, 0, width);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width};
}

std::string_view Trim(std::string_view s) noexcept {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

int CompareNoCase(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned ca = static_cast<unsigned char>(a[i]);
        unsigned cb = static_cast<unsigned char>(b[i]);
        if (ca - 'A' < 26u) ca += 'a' - 'A';
        if (cb - 'A' < 26u) cb += 'a' - 'A';
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace tessary::text
