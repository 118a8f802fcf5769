// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/InstanceLock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

InstanceLock::InstanceLock(const std::filesystem::path& directory, const std::string& fileName)
{
    // A missing directory is created private to the user; an existing one is used as it is.
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        return;
    }
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return;
    }
    const std::filesystem::path file = directory / fileName;
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

std::string InstanceLock::SettingsLockName(const std::filesystem::path& settings)
{
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(settings, error), error);
    if (error) {
        canonical = std::filesystem::absolute(settings, error).lexically_normal();
    }
    // FNV-1a, 64 bits: a short, stable name for a path of any length.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : canonical.string()) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char name[40];
    std::snprintf(name, sizeof name, "ORVANE Ondrel %016llx.lock", static_cast<unsigned long long>(hash));
    return name;
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
