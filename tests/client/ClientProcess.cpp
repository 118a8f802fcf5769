#include "tests/client/ClientProcess.h"

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace clienttest {
namespace {

void Drain(int fd, std::string& text)
{
    if (fd < 0) {
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

} // namespace

ClientProcess::ClientProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                             Input input)
{
    // Everything is prepared before fork(): the child only rearranges descriptors and execs.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        // The test decides every ONDREL_ variable, and replaces the ones it gives.
        const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& given) {
            return text.starts_with(given.substr(0, given.find('=') + 1));
        });
        if (!text.starts_with("ONDREL_") && !replaced) {
            variables.emplace_back(text);
        }
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    int device = -1;
    if (input == Input::Terminal) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = 200;
        if (::openpty(&terminal_, &device, nullptr, nullptr, &size) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        ::fcntl(terminal_, F_SETFD, FD_CLOEXEC);
        ::fcntl(terminal_, F_SETFL, O_NONBLOCK);
    } else if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        if (device >= 0) {
            ::setsid();
            ::ioctl(device, TIOCSCTTY, 0);
            ::dup2(device, STDIN_FILENO);
            ::dup2(device, STDOUT_FILENO);
            ::dup2(device, STDERR_FILENO);
        } else {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            // No controlling terminal: the program cannot fall back to a prompt.
            ::setsid();
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (device >= 0) {
        ::close(device);
    } else {
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
        ::fcntl(err_, F_SETFL, O_NONBLOCK);
    }
}

ClientProcess::~ClientProcess()
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    for (const int fd : {in_, out_, err_, terminal_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void ClientProcess::type(std::string_view text)
{
    WriteText(terminal_ >= 0 ? terminal_ : in_, text);
}

void ClientProcess::closeInput()
{
    if (in_ >= 0) {
        ::close(in_);
        in_ = -1;
    }
}

void ClientProcess::signal(int number)
{
    ::kill(pid_, number);
}

void ClientProcess::collect()
{
    Drain(out_, output_);
    Drain(err_, errors_);
    Drain(terminal_, terminalText_);
}

const std::string& ClientProcess::output()
{
    collect();
    return output_;
}

const std::string& ClientProcess::errors()
{
    collect();
    return errors_;
}

const std::string& ClientProcess::terminal()
{
    collect();
    return terminalText_;
}

bool ClientProcess::waitForOutput(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return output().find(text) != std::string::npos; }, limit);
}

bool ClientProcess::waitForErrors(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return errors().find(text) != std::string::npos; }, limit);
}

bool ClientProcess::waitForTerminal(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return terminal().find(text) != std::string::npos; }, limit);
}

int ClientProcess::waitForExit(std::chrono::milliseconds limit)
{
    testsupport::WaitUntil(
        [&] {
            collect();
            if (!status_) {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
                }
            }
            return status_.has_value();
        },
        limit);
    collect();
    return status_.value_or(-1);
}

std::string ReadUntil(int fd, std::string_view text, std::chrono::milliseconds limit)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

std::string ReadCount(int fd, std::size_t count, std::chrono::milliseconds limit)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, count - received.size()));
        if (got <= 0) {
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

std::string ReadFor(int fd, std::chrono::milliseconds limit)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return received;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            return received;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

void WriteText(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put > 0) {
            text.remove_prefix(static_cast<std::size_t>(put));
        } else if (put < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd entry{fd, POLLOUT, 0};
            ::poll(&entry, 1, 100);
        } else {
            ADD_FAILURE() << "write failed";
            return;
        }
    }
}

unsigned NumberAfter(const std::string& text, std::string_view marker)
{
    const std::size_t at = text.find(marker);
    unsigned number = 0;
    for (std::size_t position = at == std::string::npos ? text.size() : at + marker.size();
         position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        number = number * 10 + static_cast<unsigned>(text[position] - '0');
    }
    return number;
}

} // namespace clienttest
