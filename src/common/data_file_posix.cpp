// POSIX file access. A shared advisory lock is held while the file is read: the data writer
// takes an exclusive one while it swaps a new file in, so a reader never sees half a file.
#include "common/data_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessary {

const char kPathSeparator = '/';

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The path with each missing component replaced by the one entry of its directory whose name
// differs from it only in letter case. Components with no single such entry stay as written.
std::string MatchLetterCase(const std::string& path) {
    if (path.empty() || Exists(path)) return path;
    const std::size_t slash = path.find_last_of('/');
    std::string parent = slash == std::string::npos ? std::string(".")
                         : slash == 0                  ? std::string(1, '/')
                                                       : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return path;
    if (slash != std::string::npos && slash != 0) parent = MatchLetterCase(parent);

    DIR* dir = ::opendir(parent.c_str());
    if (dir == nullptr) return path;
    std::string match;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
            match = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    if (matches != 1) return path;
    if (slash == std::string::npos) return match;
    return (parent == "/" ? std::string() : parent) + "/" + match;
}

}  // namespace

bool DataFile::Open(const std::string& requested) {
    bytes_.reset();
    size_ = position_ = 0;

    const std::string path = MatchLetterCase(requested);
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return false;
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return false;

    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return Load(static_cast<std::uint64_t>(st.st_size), [&fd](unsigned char* dst, std::size_t n) {
        for (;;) {
            const ssize_t got = ::read(fd.get(), dst, n);
            if (got >= 0 || errno != EINTR) return static_cast<std::ptrdiff_t>(got);
        }
    });
}

}  // namespace tessary
