// SPDX-License-Identifier: GPL-3.0-or-later
// SignalWatcher: turns SIGINT and SIGTERM into a message posted to a target, so that a
// message loop ends through its own stop path. It owns one thread, which waits on a
// signalfd and a wake-up eventfd and is joined by the destructor.
//
// BlockTerminationSignals() must run on the main thread before any other thread starts:
// threads inherit the blocked set, so the signals then reach only the signalfd.
#pragma once

#include "platform/WindowMessage.h"

#include <atomic>
#include <cstdint>
#include <thread>

namespace host {

// Blocks SIGINT and SIGTERM in the calling thread (and in the threads it starts later)
// and gives them their default disposition, so that a blocked signal stays pending.
// Also ignores SIGPIPE for the whole process: a reader that went away never ends it.
void BlockTerminationSignals();

class SignalWatcher {
public:
    // Posts (`message`, signal number, 0) to `target` for each SIGINT or SIGTERM. Where
    // the descriptors cannot be made (out of descriptors at start-up) no thread runs,
    // and the blocked signals stay pending until the program ends by its own path.
    SignalWatcher(platform::WindowHandle target, std::uint32_t message);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void run();

    platform::WindowHandle target_;
    std::uint32_t message_;
    int signalFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace host
