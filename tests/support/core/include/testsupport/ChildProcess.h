// SPDX-License-Identifier: GPL-3.0-or-later
// A program run as a separate process, as a user starts it: standard output and error
// through pipes, standard input either a pipe or a pseudo-terminal that is also its
// controlling terminal (for prompts and line editing; output and errors then go to
// the terminal too). The process tests of the host, the window and the client use it,
// and the benchmarks. Killed (SIGKILL) if still running when the object goes. What
// cannot be done (no pipe, no terminal, no process, a failed write) throws
// std::runtime_error, which fails the test that met it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace testsupport {

using namespace std::chrono_literals;

class ChildProcess {
public:
    enum class Input { Pipe, Terminal };

    // Starts arguments[0]. Its environment is the test's, without any ONDREL_ variable
    // (the test decides every one) and without those that `environment` gives anew,
    // plus `environment`. On a pipe it has no controlling terminal, so that it cannot
    // fall back to a prompt.
    ChildProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                 Input input = Input::Pipe);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Types or pipes `text` into the program's standard input.
    void type(std::string_view text);
    // Ends piped input.
    void closeInput();
    void signal(int number);
    // Ends the program as a service manager does: SIGTERM, then its exit status as
    // waitForExit() gives it (still running after `limit`: killed when the object goes).
    int stop(std::chrono::milliseconds limit = 15s);

    // Standard output and error so far; on a terminal both go to terminal().
    const std::string& output();
    const std::string& errors();
    const std::string& terminal();

    bool waitForOutput(std::string_view text, std::chrono::milliseconds limit = 10s);
    bool waitForErrors(std::string_view text, std::chrono::milliseconds limit = 10s);
    bool waitForTerminal(std::string_view text, std::chrono::milliseconds limit = 10s);
    // The exit status; -1 when the process has not ended within `limit`, -2 for a signal.
    int waitForExit(std::chrono::milliseconds limit = 15s);

private:
    void collect();

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    int terminal_ = -1;
    std::string output_;
    std::string errors_;
    std::string terminalText_;
    std::optional<int> status_;
};

// Writes all of `text` to `fd`; a failure throws std::runtime_error.
void WriteText(int fd, std::string_view text);

} // namespace testsupport
