// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientProcess.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <poll.h>
#include <unistd.h>

namespace clienttest {

namespace {

// Reads from `fd` until `done(received)` holds, the descriptor ends or fails, or
// `limit` passes; a read takes at most `room(received)` bytes.
template <typename Done, typename Room>
std::string ReadWhileNot(int fd, std::chrono::milliseconds limit, Done done, Room room)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(received)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, room(received)));
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

std::size_t AnyRoom(const std::string&)
{
    return std::numeric_limits<std::size_t>::max();
}

} // namespace

std::string ReadUntil(int fd, std::string_view text, std::chrono::milliseconds limit)
{
    return ReadWhileNot(
        fd, limit, [&](const std::string& received) { return received.find(text) != std::string::npos; }, AnyRoom);
}

std::string ReadCount(int fd, std::size_t count, std::chrono::milliseconds limit)
{
    return ReadWhileNot(
        fd, limit, [&](const std::string& received) { return received.size() >= count; },
        [&](const std::string& received) { return count - received.size(); });
}

std::string ReadFor(int fd, std::chrono::milliseconds limit)
{
    return ReadWhileNot(fd, limit, [](const std::string&) { return false; }, AnyRoom);
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
