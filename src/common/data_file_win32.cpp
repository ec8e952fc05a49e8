// Windows file access. A file is opened read-only and without sharing, as the host's own file
// class opens data files: while the writer (or anyone else) has the file open the load fails
// instead of reading a file that is being replaced, and nobody can replace it while it is read.
// Windows file names ignore letter case, so no name matching is needed here.
#include "common/data_file.h"

#include <new>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace tessary {

const char kPathSeparator = '\\';

namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    [[nodiscard]] HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

bool DataFile::Open(const std::string& path) {
    bytes_.reset();
    size_ = position_ = 0;

    const FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    // Devices and pipes (CON, NUL, \\.\pipe\...) open like files but are none.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return false;

    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file.get(), &length) || length.QuadPart < 0) return false;
    // Every length in the formats is 32 bits wide; nothing larger was ever written by a writer.
    if (static_cast<unsigned long long>(length.QuadPart) > 0xFFFFFFFFull) return false;
    const auto size = static_cast<std::size_t>(length.QuadPart);

    std::unique_ptr<unsigned char[]> bytes;
    try {
        bytes = std::make_unique_for_overwrite<unsigned char[]>(size == 0 ? 1 : size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t got = 0;
    while (got < size) {
        const std::size_t want = size - got < 0x40000000u ? size - got : 0x40000000u;
        DWORD n = 0;
        if (!::ReadFile(file.get(), bytes.get() + got, static_cast<DWORD>(want), &n, nullptr)) return false;
        if (n == 0) break;  // cannot happen while nobody shares the file; keep what is there
        got += n;
    }
    bytes_ = std::move(bytes);
    size_ = got;
    return true;
}

}  // namespace tessary
