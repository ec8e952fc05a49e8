#include "common/data_file.h"

#include <cstring>

namespace tessary {

std::string JoinDataPath(std::string_view base, std::string_view relative) {
    std::string path(base);
    if (path.empty() || (path.back() != kPathSeparator && path.back() != '/')) path += kPathSeparator;
    for (const char c : relative) path += (c == '/') ? kPathSeparator : c;
    return path;
}

std::size_t DataFile::Read(void* dst, std::size_t n) noexcept {
    const std::size_t count = n < Left() ? n : Left();
    if (count != 0) std::memcpy(dst, bytes_.get() + position_, count);
    position_ += count;
    return count;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    DataFile file;
    if (!file.Open(path)) return false;
    bytes.assign(reinterpret_cast<const char*>(file.Data()), file.Left());
    return true;
}

}  // namespace tessary
