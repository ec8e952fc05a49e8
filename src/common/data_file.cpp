// Reading a data file whole into memory, and the platform-independent path joining.
#include "common/data_file.h"

#include <cstring>
#include <new>


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

bool DataFile::Load(std::uint64_t size, const ChunkReader& readChunk) {
    if (size > 0xFFFFFFFFull) return Fail("it is 4 GiB or larger");
    // The buffer of the file read before is reused when it is large enough: a loader that reads
    // several large files through one DataFile pays for the memory's first touch only once.
    if (bytes_ == nullptr || capacity_ < size) {
        bytes_.reset();
        capacity_ = 0;
        try {
            bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size == 0 ? 1 : static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            return Fail("there is not enough memory to read it");
        }
        capacity_ = static_cast<std::size_t>(size);
    }
    std::size_t got = 0;
    while (got < size) {
        const std::ptrdiff_t n = readChunk(bytes_.get() + got, static_cast<std::size_t>(size) - got);
        if (n < 0) return Fail("it cannot be read");
        if (n == 0) break;  // the file shrank meanwhile: keep what is there
        got += static_cast<std::size_t>(n);
    }
    problem_.clear();
    size_ = got;
    position_ = 0;
    return true;
}

bool DataFile::Fail(std::string problem) {
    bytes_.reset();
    capacity_ = size_ = position_ = 0;
    problem_ = std::move(problem);
    return false;
}

bool ReadWholeFile(DataRoot& root, std::string_view relative, std::string& bytes, std::string& problem) {
    DataFile file;
    if (!file.Open(root, relative)) {
        problem = file.Problem();
        return false;
    }
    bytes.assign(reinterpret_cast<const char*>(file.Data()), file.Left());
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    DataFile file;
    if (!file.Open(path)) return false;
    bytes.assign(reinterpret_cast<const char*>(file.Data()), file.Left());
    return true;
}

}  // namespace tessary
