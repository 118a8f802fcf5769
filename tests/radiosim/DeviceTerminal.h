// SPDX-License-Identifier: GPL-3.0-or-later
// The host's side of a simulated radio's own pseudo-terminal: opens the device
// path in raw mode and talks to it with bounded waits. One test thread uses it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace radiosim::testing {

class DeviceTerminal {
public:
    explicit DeviceTerminal(const std::string& path);
    ~DeviceTerminal();
    DeviceTerminal(const DeviceTerminal&) = delete;
    DeviceTerminal& operator=(const DeviceTerminal&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(std::string_view bytes);
    // Reads until `expected` bytes arrived, the line hung up or `limit` passed.
    std::string receive(std::size_t expected, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads until the text received ends with `suffix`, or `limit` passes.
    std::string receiveUntil(std::string_view suffix, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when the other end hangs up within `limit` (data read meanwhile is dropped).
    bool waitForHangUp(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    // One bounded read: appends to `text`; false on hang-up or timeout.
    bool readSome(std::string& text, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool hungUp_ = false;
};

} // namespace radiosim::testing
