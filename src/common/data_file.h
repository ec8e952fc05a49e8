// Read access to the data directory's files. A file is opened read-only and read into memory,
// whole at once or, for a loader that parses a large file front to back, through a window of a
// few megabytes that moves on as the loader does; the loaders take their fields from memory.
// Reads follow the platform file object the formats were designed around: a read at the end of
// the file copies fewer bytes or none and leaves the rest of the destination as it was, so a
// loader presets what it reads into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tessary {

// The platform's path separator.
extern const char kPathSeparator;

// `base` followed by the separator and `relative`, whose components are separated by '/'
// (converted to the platform's separator). A base that already ends in a separator gets none.
[[nodiscard]] std::string JoinDataPath(std::string_view base, std::string_view relative);

// The data directory one load reads. On POSIX it is opened once and every file is opened
// relative to it, so a load reads one generation of the directory even when a writer swaps a new
// one in by renaming meanwhile. On Windows files are opened by path, as the host's own file class
// does. Used by one loading thread at a time.
class DataRoot {
public:
    // Opens the directory at `path` (an empty path is the file system's root). A directory that
    // cannot be opened makes every file in it fail with that reason.
    explicit DataRoot(std::string path);
    ~DataRoot();
    DataRoot(const DataRoot&) = delete;
    DataRoot& operator=(const DataRoot&) = delete;

    // The path of a file below the directory, `relative` using '/' separators.
    [[nodiscard]] std::string PathOf(std::string_view relative) const { return JoinDataPath(path_, relative); }

    // True when the path now names another directory than the one opened, or none: a writer
    // replaced it, and files missing from the opened one may be in its successor.
    [[nodiscard]] bool Replaced() const;

private:
    friend class DataFile;

    // How long one load waits, in all, for files that a writer holds locked.
    static constexpr int kLockWaitMilliseconds = 5000;

    std::string path_;
    int descriptor_ = -1;  // the open directory (POSIX); unused on Windows
    int openError_ = 0;    // errno of a directory that did not open (POSIX)
    int lockWaitLeft_ = kLockWaitMilliseconds;
};

class DataFile {
public:
    DataFile() = default;
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // Files larger than `bytes` are from now on read `bytes` at a time, as Fill asks for them,
    // instead of whole at Open; the file stays open (and locked against writers) until its end is
    // read or another file is opened. 0, the default, reads every file whole.
    //
    // A window is for files of many megabytes: read whole, such a file costs a buffer of its size
    // that the system must first clear, written once and read once from main memory; a window of
    // a few megabytes is cleared once and stays in the processor's caches.
    void SetWindow(std::size_t bytes) noexcept { window_ = bytes; }

    // Opens `path` for reading and reads it whole (or its first window), into the memory of the
    // file read before when it fits (the earlier file's bytes are gone then). False when the file
    // is missing, is not a regular file, cannot be read, is held by a writer (exclusive lock), or
    // is 4 GiB or larger. If the exact name is missing, a single name that differs only in letter
    // case, one path component at a time, is used instead.
    [[nodiscard]] bool Open(const std::string& path);
    // Opens the file `relative` (with '/' separators) of `root`, with the same rules. A file that a
    // writer holds locked is waited for, as long as the root's waiting time lasts.
    [[nodiscard]] bool Open(DataRoot& root, std::string_view relative);

    // Why the last Open failed, in words that follow "cannot be opened: ", e.g. "it does not
    // exist"; empty after a success.
    [[nodiscard]] const std::string& Problem() const noexcept { return problem_; }

    // The file's length in bytes (when read through a window, as far as it is known: a file that
    // shrinks while it is read ends where its reads end).
    [[nodiscard]] std::uint32_t Length() const noexcept { return static_cast<std::uint32_t>(size_); }
    [[nodiscard]] std::size_t Position() const noexcept { return position_; }
    [[nodiscard]] std::size_t Left() const noexcept { return size_ - position_; }
    // The whole file, when it was read whole.
    [[nodiscard]] const unsigned char* Data() const noexcept { return bytes_.get(); }
    // The byte at Position(), and how many from there are in memory.
    [[nodiscard]] const unsigned char* Here() const noexcept { return bytes_.get() + (position_ - begin_); }
    [[nodiscard]] std::size_t Available() const noexcept {
        return position_ - begin_ < filled_ ? filled_ - (position_ - begin_) : 0;
    }

    // Makes at least min(n, Left()) bytes from the position available at Here(), reading on
    // through the window (which grows if n is larger); false, with Problem() telling why, when a
    // read fails or memory runs out.
    [[nodiscard]] bool Fill(std::size_t n) noexcept {
        return reader_ == nullptr || Available() >= n || Available() == Left() ? true : MoveWindow(n);
    }

    // Copies up to n bytes from the current position into dst and advances past them; returns
    // how many were copied. Bytes of dst beyond that keep their value.
    std::size_t Read(void* dst, std::size_t n) noexcept;

    // Moves the position n bytes on, at most to the end.
    void Skip(std::size_t n) noexcept { position_ += n < Left() ? n : Left(); }

private:
    // Takes the contents of a file of `size` bytes from `readChunk`, which fills up to n bytes at
    // dst and returns how many it read (0 at the end, -1 on an error): all of them, or the first
    // window, keeping `readChunk` (and what it owns, the open file) for the rest. False for an
    // error, a size of 4 GiB or more (every length in the formats is 32 bits wide) or too little
    // memory.
    using ChunkReader = std::function<std::ptrdiff_t(unsigned char* dst, std::size_t n)>;
    [[nodiscard]] bool Load(std::uint64_t size, ChunkReader readChunk);

    // Records `problem` as the reason of a failed Open and gives false.
    bool Fail(std::string problem);
    // Room for `size` bytes in bytes_, the memory of an earlier file reused when it is enough.
    [[nodiscard]] bool Reserve(std::size_t size);
    // Fill's work when the window must move on: the window starts at the position then.
    [[nodiscard]] bool MoveWindow(std::size_t n) noexcept;
    // Ends the file where reading it failed, for `problem`; false.
    bool Unreadable(const char* problem) noexcept;

    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t capacity_ = 0;  // of bytes_, which a later Open reuses when the file fits
    std::string problem_;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    std::size_t window_ = 0;
    // Read through a window: what reads on, until the end of the file has been read.
    ChunkReader reader_;
    std::size_t begin_ = 0;   // the file offset of bytes_[0]
    std::size_t filled_ = 0;  // bytes of bytes_ read
};

// Reads the whole file at `path` (with the same rules as DataFile::Open) into `bytes`.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& bytes);
// Reads the whole file `relative` of `root` into `bytes`; on failure, why into `problem`.
[[nodiscard]] bool ReadWholeFile(DataRoot& root, std::string_view relative, std::string& bytes,
                                 std::string& problem);

}  // namespace tessary
