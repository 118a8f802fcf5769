// SPDX-License-Identifier: GPL-3.0-or-later
// The radiosim program as `make run` and people use it: started as a process,
// talked to through the device path it prints, stopped by a signal.
#include "DeviceTerminal.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace radiosim {
namespace {

using namespace std::chrono_literals;

// A running radiosim process with its standard output on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> arguments)
    {
        int out[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        arguments.insert(arguments.begin(), RADIOSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (::posix_spawn(&pid_, RADIOSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
    }

    ~Program()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) {
            ::close(output_);
        }
    }

    // The first line of standard output, without its line feed.
    std::string firstLine()
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd readable{output_, POLLIN, 0};
            if (::poll(&readable, 1, 100) <= 0) {
                continue;
            }
            char chunk[256];
            const ssize_t n = ::read(output_, chunk, sizeof chunk);
            if (n <= 0) {
                break;
            }
            line.append(chunk, static_cast<std::size_t>(n));
        }
        return line.substr(0, line.find('\n'));
    }

    void signal(int number) { ::kill(pid_, number); }

    // The exit status once the process ended within the limit, else -1.
    int exitStatus(std::chrono::milliseconds limit = 10s)
    {
        int status = 0;
        const bool ended = testsupport::WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

TEST(RadiosimProgram, PrintsItsDeviceLinksItAnswersAndCleansUpOnSigterm)
{
    testsupport::TempDir dir;
    const std::string link = (dir / "radio").string();
    Program program({"--model", "19", "--link", link});
    ASSERT_TRUE(program.started());
    const std::string device = program.firstLine();
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    testing::DeviceTerminal host(link);
    ASSERT_TRUE(host.isOpen());
    host.send(";;\x03;\rTC 1;\r;ID;");
    EXPECT_EQ(host.receive(13), "?;TC 1;ID019;");

    program.signal(SIGTERM);
    EXPECT_EQ(program.exitStatus(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(RadiosimProgram, EndsByItselfWhenTheCloseFaultFires)
{
    Program program({"--close-after", "1"});
    const std::string device = program.firstLine();
    ASSERT_FALSE(device.empty());
    testing::DeviceTerminal host(device);
    host.send("ID;");
    EXPECT_EQ(host.receive(6), "ID020;");
    EXPECT_EQ(program.exitStatus(), 0);
}

TEST(RadiosimProgram, RefusesBadArgumentsAndForeignFilesAtTheLink)
{
    EXPECT_EQ(Program({"--model", "twenty"}).exitStatus(), 2);
    EXPECT_EQ(Program({"--baud"}).exitStatus(), 2);
    EXPECT_EQ(Program({"--split", "0"}).exitStatus(), 2);

    testsupport::TempDir dir;
    const std::filesystem::path file = dir / "precious";
    std::ofstream(file) << "keep";
    EXPECT_EQ(Program({"--link", file.string()}).exitStatus(), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

} // namespace
} // namespace radiosim
