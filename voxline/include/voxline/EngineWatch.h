// SPDX-License-Identifier: GPL-3.0-or-later
// EngineWatch: the owned thread that waits on a running engine's two descriptors (its
// output pipe and its control connection) and on a stop signal (an eventfd), and hands
// what is readable to its owner's handlers on that thread, the output first: the engine
// writes a message's trace before it tells of the message, so whatever event is
// readable has its trace readable too. stop() raises the signal and joins; the
// destructor stops.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace voxline {

class EngineProcess;

class EngineWatch {
public:
    struct Handlers {
        // The output pipe is readable; read it to the end (it is non-blocking).
        std::function<void()> outputReadable;
        // The control connection is readable; false when it has ended or broken, which
        // ends the watch.
        std::function<bool()> controlReadable;
    };

    EngineWatch() = default;
    ~EngineWatch();
    EngineWatch(const EngineWatch&) = delete;
    EngineWatch& operator=(const EngineWatch&) = delete;

    // Starts watching `engine`, which must outlive the watch (stop() first); a watch
    // already running is stopped first. False when no eventfd could be made.
    bool start(const EngineProcess& engine, Handlers handlers);
    // Ends the thread and waits for it; nothing when none runs. Not from the thread.
    void stop();

private:
    void run(int outputFd, int controlFd);

    Handlers handlers_;
    std::thread thread_;
    int wake_ = -1;
    std::atomic<bool> running_{false};
};

} // namespace voxline
