// Reading a data file whole into memory, and the platform-independent path joining.
#include "common/data_file.h"

#include <algorithm>
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
    // Through a window, a read longer than it takes several turns. A failed read ends the file
    // where it failed, as a short read would.
    std::size_t copied = 0;
    while (copied < n && Fill(n - copied) && Available() != 0) {
        const std::size_t count = std::min(n - copied, Available());
        std::memcpy(static_cast<unsigned char*>(dst) + copied, Here(), count);
        position_ += count;
        copied += count;
    }
    return copied;
}

bool DataFile::Reserve(std::size_t size) {
    if (bytes_ != nullptr && capacity_ >= size) return true;
    bytes_.reset();
    capacity_ = 0;
    try {
        bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size == 0 ? 1 : size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    capacity_ = size;
    return true;
}

bool DataFile::Load(std::uint64_t size, ChunkReader readChunk) {
    reader_ = nullptr;
    begin_ = filled_ = size_ = position_ = 0;
    if (size > 0xFFFFFFFFull) return Fail("it is 4 GiB or larger");
    // The buffer of the file read before is reused when it is large enough: a loader that reads
    // several large files through one DataFile pays for the memory's first touch only once.
    const bool windowed = window_ != 0 && size > window_;
    if (!Reserve(windowed ? window_ : static_cast<std::size_t>(size))) return Fail("there is not enough memory to read it");
    size_ = static_cast<std::size_t>(size);
    if (windowed) {
        reader_ = std::move(readChunk);
        problem_.clear();
        if (!MoveWindow(window_)) return Fail(problem_);
        return true;
    }
    std::size_t got = 0;
    while (got < size_) {
        const std::ptrdiff_t n = readChunk(bytes_.get() + got, size_ - got);
        if (n < 0) return Fail("it cannot be read");
        if (n == 0) break;  // the file shrank meanwhile: keep what is there
        got += static_cast<std::size_t>(n);
    }
    problem_.clear();
    size_ = filled_ = got;
    return true;
}

bool DataFile::MoveWindow(std::size_t n) noexcept {
    // The reader stands at the end of what is in memory. The bytes from the position on go to
    // the front, of a larger window when more is asked for than the window holds; bytes skipped
    // beyond the window are read and dropped.
    const std::size_t end = begin_ + filled_;
    const std::size_t kept = position_ <= end ? end - position_ : 0;
    const std::size_t want = std::min(n, Left());
    if (want > capacity_) {
        std::unique_ptr<unsigned char[]> larger(new (std::nothrow) unsigned char[want]);
        if (larger == nullptr) return Unreadable("there is not enough memory to read it");
        if (kept != 0) std::memcpy(larger.get(), bytes_.get() + (position_ - begin_), kept);
        bytes_ = std::move(larger);
        capacity_ = want;
    } else if (kept != 0 && position_ != begin_) {
        std::memmove(bytes_.get(), bytes_.get() + (position_ - begin_), kept);
    }
    filled_ = kept;
    if (position_ > end) {
        for (std::size_t at = end; at < position_;) {
            const std::ptrdiff_t got = reader_(bytes_.get(), std::min(position_ - at, capacity_));
            if (got < 0) return Unreadable("it cannot be read");
            if (got == 0) position_ = size_ = at;  // the file shrank meanwhile: it ends here
            at += static_cast<std::size_t>(got);
        }
    }
    begin_ = position_;
    // Then the window is read full, or to the end of the file.
    for (const std::size_t full = std::min(capacity_, size_ - begin_); filled_ < full;) {
        const std::ptrdiff_t got = reader_(bytes_.get() + filled_, full - filled_);
        if (got < 0) return Unreadable("it cannot be read");
        if (got == 0) {  // the file shrank meanwhile: it ends here
            size_ = begin_ + filled_;
            break;
        }
        filled_ += static_cast<std::size_t>(got);
    }
    // The file is closed as soon as its last byte is in memory.
    if (begin_ + filled_ >= size_) reader_ = nullptr;
    return true;
}

bool DataFile::Unreadable(const char* problem) noexcept {
    reader_ = nullptr;
    size_ = std::max(position_, begin_ + filled_);
    try {
        problem_ = problem;
    } catch (...) {  // out of memory for the words: the failure itself stands
        problem_.clear();
    }
    return false;
}

bool DataFile::Fail(std::string problem) {
    bytes_.reset();
    reader_ = nullptr;
    capacity_ = size_ = position_ = begin_ = filled_ = 0;
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
