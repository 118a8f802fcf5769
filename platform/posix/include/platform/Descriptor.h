// SPDX-License-Identifier: GPL-3.0-or-later
// File descriptors: closing them, owning them, and writing all of a text to one. Used
// by every module that talks to devices, sockets and files through POSIX calls.
#pragma once

#include <chrono>
#include <string_view>

namespace platform {

// Closes `fd` when it is open and marks it closed (-1). Not retried on EINTR: on
// Linux the descriptor is gone either way.
void CloseDescriptor(int& fd) noexcept;

// An owned descriptor, closed with its owner.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held, if any, and holds `fd` instead.
    void reset(int fd = -1) noexcept
    {
        CloseDescriptor(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Writes all of `bytes` to `fd`. A socket is written with send(MSG_NOSIGNAL), so that
// a peer that went away fails the write instead of raising SIGPIPE; other descriptors
// with write(). A non-blocking descriptor that is full is waited for, `limit` in all.
// False on an error, a hang-up, or when the time ran out.
bool WriteAll(int fd, std::string_view bytes, std::chrono::milliseconds limit);
// The same, waiting for room as long as it takes.
bool WriteAll(int fd, std::string_view bytes);

} // namespace platform
