// SPDX-License-Identifier: GPL-3.0-or-later
// Password sources.

#include "client/Password.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace client {

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = "cannot open the password file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        error = "the password file " + path + " is not a regular file";
        return false;
    }
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        error = "the password file " + path + " may be read by others; make it yours with mode 0600 (chmod 600)";
        return false;
    }
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    while (text.size() < 4096 && (got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            error = "cannot read the password file " + path + ": " + std::strerror(errno);
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    const std::size_t end = text.find_first_of("\r\n");
    password = text.substr(0, end);
    std::fill(text.begin(), text.end(), '\0');
    return true;
}

std::optional<std::string> TakeEnvironmentPassword()
{
    const std::string_view name = kPasswordVariable;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        if (text.size() > name.size() && text.starts_with(name) && text[name.size()] == '=') {
            std::string password(text.substr(name.size() + 1));
            // The string lives in the block that /proc/<pid>/environ shows: blank it there.
            std::memset(*entry + name.size() + 1, 0, text.size() - name.size() - 1);
            ::unsetenv(kPasswordVariable);
            return password;
        }
    }
    return std::nullopt;
}

PromptResult PromptPassword(std::string_view prompt, int watchFd, std::string& password)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0) {
        return PromptResult::NoTerminal;
    }
    termios saved{};
    if (::tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return PromptResult::NoTerminal;
    }
    termios quiet = saved;
    // Character by character without echo, so that the host can be watched meanwhile.
    quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON | ISIG));
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
    (void)!::write(tty, prompt.data(), prompt.size());

    PromptResult result = PromptResult::Cancelled;
    password.clear();
    for (;;) {
        pollfd entries[2] = {{tty, POLLIN, 0}, {watchFd, POLLIN, 0}};
        const int ready = ::poll(entries, watchFd >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watchFd >= 0 && entries[1].revents != 0) {
            result = PromptResult::Interrupted;
            break;
        }
        char c = 0;
        const ssize_t got = ::read(tty, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || c == saved.c_cc[VEOF] || c == saved.c_cc[VINTR]) {
            break;
        }
        if (c == '\n' || c == '\r') {
            result = PromptResult::Entered;
            break;
        }
        if (c == saved.c_cc[VERASE] || c == '\b') {
            if (!password.empty()) {
                password.pop_back();
            }
        } else if (c == saved.c_cc[VKILL]) {
            password.clear();
        } else {
            password += c;
        }
    }
    ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (result != PromptResult::Entered) {
        std::fill(password.begin(), password.end(), '\0');
        password.clear();
    }
    return result;
}

} // namespace client
