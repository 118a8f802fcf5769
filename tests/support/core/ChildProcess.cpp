// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/ChildProcess.h"

#include "platform/Descriptor.h"
#include "platform/PseudoTerminal.h"
#include "testsupport/Wait.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
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

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
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
    platform::Descriptor device;
    if (input == Input::Terminal) {
        std::string error;
        std::optional<platform::PseudoTerminal> pty =
            platform::OpenPseudoTerminal(error, {.raw = false, .rows = 40, .columns = 200});
        if (!pty) {
            throw std::runtime_error(error);
        }
        terminal_ = pty->controller.release();
        device = std::move(pty->device);
    } else if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        if (device.valid()) {
            ::setsid();
            ::ioctl(device.get(), TIOCSCTTY, 0);
            ::dup2(device.get(), STDIN_FILENO);
            ::dup2(device.get(), STDOUT_FILENO);
            ::dup2(device.get(), STDERR_FILENO);
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
    if (pid_ < 0) {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], terminal_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    if (device.valid()) {
        device.reset();
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

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    for (int* fd : {&in_, &out_, &err_, &terminal_}) {
        platform::CloseDescriptor(*fd);
    }
}

void ChildProcess::type(std::string_view text)
{
    WriteText(terminal_ >= 0 ? terminal_ : in_, text);
}

void ChildProcess::closeInput()
{
    platform::CloseDescriptor(in_);
}

void ChildProcess::signal(int number)
{
    ::kill(pid_, number);
}

int ChildProcess::stop(std::chrono::milliseconds limit)
{
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGTERM);
    }
    return waitForExit(limit);
}

void ChildProcess::collect()
{
    Drain(out_, output_);
    Drain(err_, errors_);
    Drain(terminal_, terminalText_);
}

const std::string& ChildProcess::output()
{
    collect();
    return output_;
}

const std::string& ChildProcess::errors()
{
    collect();
    return errors_;
}

const std::string& ChildProcess::terminal()
{
    collect();
    return terminalText_;
}

bool ChildProcess::waitForOutput(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return output().find(text) != std::string::npos; }, limit);
}

bool ChildProcess::waitForErrors(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return errors().find(text) != std::string::npos; }, limit);
}

bool ChildProcess::waitForTerminal(std::string_view text, std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil([&] { return terminal().find(text) != std::string::npos; }, limit);
}

int ChildProcess::waitForExit(std::chrono::milliseconds limit)
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

void WriteText(int fd, std::string_view text)
{
    if (!platform::WriteAll(fd, text, 5s)) {
        throw std::runtime_error("write failed");
    }
}

} // namespace testsupport
