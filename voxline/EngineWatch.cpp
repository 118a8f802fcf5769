// SPDX-License-Identifier: GPL-3.0-or-later
#include "voxline/EngineWatch.h"

#include "voxline/EngineProcess.h"

#include <array>
#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace voxline {

EngineWatch::~EngineWatch() { stop(); }

bool EngineWatch::start(const EngineProcess& engine, Handlers handlers)
{
    stop();
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        return false;
    }
    handlers_ = std::move(handlers);
    running_ = true;
    thread_ = std::thread([this, output = engine.outputFd(), control = engine.controlFd()] { run(output, control); });
    return true;
}

void EngineWatch::stop()
{
    if (thread_.joinable()) {
        running_ = false;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof(one));
        thread_.join();
    }
    if (wake_ >= 0) {
        close(wake_);
        wake_ = -1;
    }
}

void EngineWatch::run(int outputFd, int controlFd)
{
    while (running_) {
        std::array<pollfd, 3> fds{{{wake_, POLLIN, 0}, {outputFd, POLLIN, 0}, {controlFd, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents != 0) {
            handlers_.outputReadable();
        }
        if (fds[2].revents != 0 && !handlers_.controlReadable()) {
            return;
        }
    }
}

} // namespace voxline
