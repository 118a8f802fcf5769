#include "host/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

InstanceLock::InstanceLock(const std::filesystem::path& directory)
{
    // A missing directory is created private to the user; an existing one is used as it is.
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        return;
    }
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return;
    }
    const std::filesystem::path file = directory / kFileName;
    int fd = -1;
    do {
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return;
    }
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            state_ = State::Busy;
        }
        ::close(fd);
        return;
    }
    fd_ = fd;
    state_ = State::Held;
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

std::filesystem::path InstanceLock::defaultDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return runtime;
    }
    return "/tmp/ondrel-" + std::to_string(::getuid());
}

} // namespace host
