// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/SignalWatcher.h"

#include <cerrno>
#include <csignal>
#include <cstdint>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace host {
namespace {

sigset_t TerminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void BlockTerminationSignals()
{
    const sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A parent may have left them ignored (a shell does for background jobs); an
    // ignored signal would be discarded before the signalfd could see it.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    // A write to a pipe or socket whose reader has gone (the terminal or journal the
    // status lines go to, a client that reset) fails with EPIPE instead of ending the
    // program.
    std::signal(SIGPIPE, SIG_IGN);
}

SignalWatcher::SignalWatcher(platform::WindowHandle target, std::uint32_t message)
    : target_(target), message_(message)
{
    const sigset_t set = TerminationSignals();
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd_ < 0 || wakeFd_ < 0) {
        return;
    }
    thread_ = std::thread([this] { run(); });
}

SignalWatcher::~SignalWatcher()
{
    if (thread_.joinable()) {
        stopping_ = true;
        const std::uint64_t one = 1;
        ssize_t written = -1;
        do {
            written = ::write(wakeFd_, &one, sizeof one);
        } while (written < 0 && errno == EINTR);
        thread_.join();
    }
    if (signalFd_ >= 0) {
        ::close(signalFd_);
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void SignalWatcher::run()
{
    while (!stopping_) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                platform::PostMessage(target_, message_, info.ssi_signo, 0);
            }
        }
    }
}

} // namespace host
