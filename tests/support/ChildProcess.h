// A child process with its standard output and error collected through pipes; the
// process tests run the real program with it. Killed (SIGKILL) if still running when
// the object goes.
#pragma once

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

using namespace std::chrono_literals;

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment)
    {
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text = *entry;
            if (!text.starts_with("ONDREL_PROFILE=") && !text.starts_with("XDG_RUNTIME_DIR=")) {
                environment.emplace_back(text);
            }
        }
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            ADD_FAILURE() << "cannot start " << arguments[0];
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
        ::fcntl(err_, F_SETFL, O_NONBLOCK);
    }

    ~ChildProcess()
    {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    void signal(int number) { ::kill(pid_, number); }
    pid_t pid() const { return pid_; }

    // Standard output and error read so far.
    const std::string& output()
    {
        collect();
        return output_;
    }
    const std::string& errors()
    {
        collect();
        return errors_;
    }

    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit = 10s)
    {
        return testsupport::WaitUntil([&] { return output().find(text) != std::string::npos; }, limit);
    }

    // The exit status, or -1 when the process has not ended within `limit`
    // (-2 when a signal ended it).
    int waitForExit(std::chrono::milliseconds limit = 15s)
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

private:
    void collect()
    {
        drain(out_, output_);
        drain(err_, errors_);
    }
    static void drain(int fd, std::string& text)
    {
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

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string output_;
    std::string errors_;
    std::optional<int> status_;
};

} // namespace testsupport
