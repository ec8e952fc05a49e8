// Windows file access. A file is opened read-only and without sharing, as the host's own file
// class opens data files: while the writer (or anyone else) has the file open the load fails
// instead of reading a file that is being replaced, and nobody can replace it while it is read.
// Windows file names ignore letter case, so no name matching is needed here.
#include "common/data_file.h"

#include <memory>
#include <new>
#include <string>

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

std::string Describe(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "it does not exist";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "another process has it open";
    case ERROR_ACCESS_DENIED: return "permission denied";
    default: return "it cannot be opened (error " + std::to_string(error) + ")";
    }
}

}  // namespace

// Files are opened by path: there is no handle to hold, and the no-sharing open already refuses
// a file that a writer has open.
DataRoot::DataRoot(std::string path) : path_(std::move(path)) {}

DataRoot::~DataRoot() = default;

bool DataRoot::Replaced() const { return false; }

bool DataFile::Open(DataRoot& root, std::string_view relative) { return Open(root.PathOf(relative)); }

bool DataFile::Open(const std::string& path) {
    size_ = position_ = 0;

    // Shared with the reader of a file read through a window, which keeps it open.
    const auto file = std::make_shared<const FileHandle>(::CreateFileA(
        path.c_str(), GENERIC_READ, 0 /* no sharing */, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file->get() == INVALID_HANDLE_VALUE) return Fail(Describe(::GetLastError()));
    // Devices and pipes (CON, NUL, \\.\pipe\...) open like files but are none.
    if (::GetFileType(file->get()) != FILE_TYPE_DISK) return Fail("it is not a regular file");

    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file->get(), &length) || length.QuadPart < 0) return Fail("it cannot be read");
    return Load(static_cast<std::uint64_t>(length.QuadPart), [file](unsigned char* dst, std::size_t n) {
        const DWORD want = n < 0x40000000u ? static_cast<DWORD>(n) : 0x40000000u;
        DWORD got = 0;
        if (!::ReadFile(file->get(), dst, want, &got, nullptr)) return std::ptrdiff_t{-1};
        return static_cast<std::ptrdiff_t>(got);
    });
}

}  // namespace tessary
