// Sockets for the client: the TCP connection to the host and the local listening
// socket of --listen. Non-blocking descriptors driven by poll(); writes wait for
// room up to a limit so that a stalled peer cannot hang the client.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace client {

// An owned file descriptor.
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
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

enum class ReadStatus { Data, WouldBlock, Closed, Failed };

// Appends what `fd` holds now to `into` (at most 64 KiB per call).
ReadStatus ReadAvailable(int fd, std::string& into);
// Writes all of `bytes` to `fd`, waiting for room for at most `limit` in all.
// False on an error or when the time ran out.
bool WriteAll(int fd, std::string_view bytes, std::chrono::milliseconds limit);
// Waits until `fd` is readable or `limit` passed; true when readable (or closed).
bool WaitReadable(int fd, std::chrono::milliseconds limit);

// Connects to `host` (name or address) on `port` (number or service name) within
// `limit`. An invalid descriptor and `error` set when no address answered.
Descriptor ConnectTcp(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                      std::string& error);

// A listening TCP socket on `address`:`port` (port 0: any free one).
Descriptor ListenTcp(const std::string& address, unsigned port, std::string& error);
// The port a listening socket is bound to.
unsigned LocalPort(int fd);

} // namespace client
