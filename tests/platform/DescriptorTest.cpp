// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Descriptor.h"
#include "platform/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool IsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

// Reads what `fd` holds within `limit`, until `count` bytes came.
std::string ReadSome(int fd, std::size_t count, int limitMs = 2000)
{
    std::string text;
    pollfd entry{fd, POLLIN, 0};
    while (text.size() < count && ::poll(&entry, 1, limitMs) > 0) {
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

TEST(DescriptorTest, AnOwnedDescriptorIsClosedOnceByWhoeverHoldsItLast)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    int other = ends[1];
    platform::CloseDescriptor(other);
    EXPECT_EQ(other, -1);
    EXPECT_FALSE(IsOpen(ends[1]));
    platform::CloseDescriptor(other); // closing a closed one does nothing

    std::optional<platform::Descriptor> first(std::in_place, ends[0]);
    platform::Descriptor second = std::move(*first);
    first.reset();
    EXPECT_TRUE(IsOpen(ends[0])) << "the moved-from owner must not close it";
    second.reset();
    EXPECT_FALSE(IsOpen(ends[0]));
}

TEST(DescriptorTest, WriteAllWaitsForRoomOnANonBlockingPipeAndKeepsTheOrder)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const platform::Descriptor reader(ends[0]);
    const platform::Descriptor writer(ends[1]);
    std::string text;
    for (int i = 0; text.size() < 1'000'000; ++i) {
        text += std::to_string(i) + ',';
    }
    std::string received;
    std::thread drain([&] { received = ReadSome(reader.get(), text.size()); });
    EXPECT_TRUE(platform::WriteAll(writer.get(), text, 10s));
    drain.join();
    EXPECT_EQ(received, text);
}

TEST(DescriptorTest, WriteAllFailsWithoutRoomOrReader)
{
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const platform::Descriptor reader(ends[0]);
    const platform::Descriptor writer(ends[1]);
    const std::string block(65536, 'x');
    while (::write(writer.get(), block.data(), block.size()) > 0) {
    }
    EXPECT_FALSE(platform::WriteAll(writer.get(), "more", 0ms)) << "a full pipe and no time left";

    // A socket whose peer went away fails the write instead of raising SIGPIPE.
    int pair[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const platform::Descriptor near(pair[0]);
    ::close(pair[1]);
    EXPECT_FALSE(platform::WriteAll(near.get(), "to nobody"));
    EXPECT_FALSE(platform::WriteAll(-1, "x"));
}

TEST(PseudoTerminalTest, TheDeviceEndIsARawLineWithAPath)
{
    std::string error;
    std::optional<platform::PseudoTerminal> terminal = platform::OpenPseudoTerminal(error);
    ASSERT_TRUE(terminal) << error;
    EXPECT_TRUE((::fcntl(terminal->controller.get(), F_GETFL) & O_NONBLOCK) != 0);
    EXPECT_TRUE((::fcntl(terminal->controller.get(), F_GETFD) & FD_CLOEXEC) != 0);
    EXPECT_TRUE((::fcntl(terminal->device.get(), F_GETFD) & FD_CLOEXEC) != 0);

    // Opened by its path, as a program opens a serial port: bytes pass unchanged both
    // ways, with no echo and no CR/LF translation.
    const platform::Descriptor line = platform::OpenRawTerminal(terminal->devicePath, false);
    ASSERT_TRUE(line.valid()) << terminal->devicePath;
    const std::string bytes("FA;\r\n\x03\x7f", 7);
    ASSERT_TRUE(platform::WriteAll(terminal->controller.get(), bytes, 2s));
    EXPECT_EQ(ReadSome(line.get(), bytes.size()), bytes);
    ASSERT_TRUE(platform::WriteAll(line.get(), bytes, 2s));
    EXPECT_EQ(ReadSome(terminal->controller.get(), bytes.size()), bytes);
    EXPECT_EQ(ReadSome(terminal->controller.get(), 1, 0), "") << "nothing echoed";

    EXPECT_FALSE(platform::OpenRawTerminal("/nonexistent/tty", false).valid());
}

TEST(PseudoTerminalTest, AProgramsTerminalKeepsItsLineDisciplineAndGetsItsSize)
{
    std::string error;
    std::optional<platform::PseudoTerminal> terminal =
        platform::OpenPseudoTerminal(error, {.raw = false, .rows = 40, .columns = 200});
    ASSERT_TRUE(terminal) << error;
    winsize size{};
    ASSERT_EQ(::ioctl(terminal->device.get(), TIOCGWINSZ, &size), 0);
    EXPECT_EQ(size.ws_row, 40);
    EXPECT_EQ(size.ws_col, 200);
    termios settings{};
    ASSERT_EQ(::tcgetattr(terminal->device.get(), &settings), 0);
    EXPECT_NE(settings.c_lflag & ICANON, 0U);
    EXPECT_NE(settings.c_lflag & ECHO, 0U);
}

} // namespace
