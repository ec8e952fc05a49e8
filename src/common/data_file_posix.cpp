// POSIX file access. A load opens the data directory once and every file relative to it, so a
// directory that a writer renames into place meanwhile is not seen half-way. A shared advisory
// lock is held while a file is read: the data writer holds an exclusive one from before it
// renames a new file into place until the file is complete, so a reader waits for it a little
// rather than failing at once, and never sees half a file.
#include "common/data_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

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

bool Exists(int dirfd, const std::string& path) {
    struct stat st {};
    return ::fstatat(dirfd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The path (relative to `dirfd`, or absolute) with each missing component replaced by the one
// entry of its directory whose name differs from it only in letter case. Components with no
// single such entry stay as written.
std::string MatchLetterCase(int dirfd, const std::string& path) {
    if (path.empty() || Exists(dirfd, path)) return path;
    const std::size_t slash = path.find_last_of('/');
    std::string parent = slash == std::string::npos ? std::string(".")
                         : slash == 0                  ? std::string(1, '/')
                                                       : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return path;
    if (slash != std::string::npos && slash != 0) parent = MatchLetterCase(dirfd, parent);

    const int parentFd = ::openat(dirfd, parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) return path;
    DIR* dir = ::fdopendir(parentFd);
    if (dir == nullptr) {
        ::close(parentFd);
        return path;
    }
    std::string match;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
            match = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);  // closes parentFd too
    if (matches != 1) return path;
    if (slash == std::string::npos) return match;
    return (parent == "/" ? std::string() : parent) + "/" + match;
}

std::string Describe(int error) {
    if (error == ENOENT) return "it does not exist";
    if (error == EACCES) return "permission denied";
    return std::strerror(error);
}

}  // namespace

DataRoot::DataRoot(std::string path) : path_(std::move(path)) {
    descriptor_ = ::open(path_.empty() ? "/" : path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor_ < 0) openError_ = errno;
}

DataRoot::~DataRoot() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool DataRoot::Replaced() const {
    if (descriptor_ < 0) return false;
    struct stat opened {}, now {};
    if (::fstat(descriptor_, &opened) != 0) return false;
    if (::stat(path_.empty() ? "/" : path_.c_str(), &now) != 0) return true;
    return opened.st_dev != now.st_dev || opened.st_ino != now.st_ino;
}

bool DataFile::Open(const std::string& path) {
    // A relative path resolves against the working directory, an absolute one by itself.
    DataRoot here(".");
    return Open(here, path);
}

bool DataFile::Open(DataRoot& root, std::string_view relative) {
    size_ = position_ = 0;
    if (root.descriptor_ < 0) {
        if (root.openError_ == ENOENT) return Fail("the data directory does not exist");
        if (root.openError_ == ENOTDIR) return Fail("the data directory is not a directory");
        return Fail("the data directory cannot be opened (" + std::string(std::strerror(root.openError_)) + ")");
    }

    const std::string path = MatchLetterCase(root.descriptor_, std::string(relative));
    // Shared with the reader of a file read through a window, which keeps it open.
    const auto fd = std::make_shared<const Descriptor>(
        ::openat(root.descriptor_, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd->get() < 0) return Fail(Describe(errno));

    // A writer holds its lock only while it completes a file it has just renamed into place:
    // wait for it in growing steps, as long as the load's waiting time lasts.
    int step = 1;
    while (::flock(fd->get(), LOCK_SH | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return Fail(Describe(errno));
        if (root.lockWaitLeft_ <= 0)
            return Fail("a writer holds it locked (waited " +
                        std::to_string(DataRoot::kLockWaitMilliseconds / 1000) + " s)");
        step = std::min({step * 2, 50, root.lockWaitLeft_});
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
        root.lockWaitLeft_ -= step;
    }

    struct stat st {};
    if (::fstat(fd->get(), &st) != 0) return Fail(Describe(errno));
    if (!S_ISREG(st.st_mode)) return Fail("it is not a regular file");
    return Load(static_cast<std::uint64_t>(st.st_size), [fd](unsigned char* dst, std::size_t n) {
        for (;;) {
            const ssize_t got = ::read(fd->get(), dst, n);
            if (got >= 0 || errno != EINTR) return static_cast<std::ptrdiff_t>(got);
        }
    });
}

}  // namespace tessary
