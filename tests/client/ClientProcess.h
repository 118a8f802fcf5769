// ondrel-client as a separate process, as a user starts it: standard output and
// error through pipes, standard input either a pipe or a pseudo-terminal that is
// also its controlling terminal (for the prompt and the console's line editing).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace clienttest {

using namespace std::chrono_literals;

class ClientProcess {
public:
    enum class Input { Pipe, Terminal };

    ClientProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                  Input input = Input::Pipe);
    ~ClientProcess();
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Types or pipes `text` into the program's standard input.
    void type(std::string_view text);
    // Ends piped input.
    void closeInput();
    void signal(int number);

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

// Reads from `fd` until the text read ends with or contains `text`, or `limit` passes.
std::string ReadUntil(int fd, std::string_view text, std::chrono::milliseconds limit = 5s);
// Reads exactly `count` bytes or what came within `limit`.
std::string ReadCount(int fd, std::size_t count, std::chrono::milliseconds limit = 5s);
// Reads whatever arrives within `limit`.
std::string ReadFor(int fd, std::chrono::milliseconds limit);
void WriteText(int fd, std::string_view text);
// The decimal number that follows `marker` in `text`; 0 when there is none.
unsigned NumberAfter(const std::string& text, std::string_view marker);

} // namespace clienttest
