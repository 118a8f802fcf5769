// SPDX-License-Identifier: GPL-3.0-or-later
// A pseudo-terminal pair for serial tests: the device end has a path that the
// code under test opens like a serial port; the test holds the controller end and
// plays the other side of the line.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace testsupport {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& devicePath() const { return devicePath_; }
    int controllerFd() const { return controller_; }

    // Writes all of `bytes` to the controller end (the device end reads them).
    void send(std::string_view bytes);
    // Reads what the device end wrote until `expected` bytes arrived or `limit` passed.
    std::string receive(std::size_t expected, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads whatever arrives within `limit`.
    std::string receiveFor(std::chrono::milliseconds limit);
    // Closes the controller end: the device end then sees a hang-up.
    void closeController();

private:
    int controller_ = -1;
    int deviceKeepOpen_ = -1; // keeps the device end alive until the code under test opens it
    std::string devicePath_;
};

} // namespace testsupport
