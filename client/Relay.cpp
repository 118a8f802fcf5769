// SPDX-License-Identifier: GPL-3.0-or-later
// Relay mode: a station program opens a pseudo-terminal (--pty PATH) or connects
// to a local TCP port (--listen PORT) as if it were the radio; its bytes go to the
// logged-in session with line ends removed, the radio's text comes back unchanged,
// and the host's own messages are kept out of the program's way. When the host
// ends the session, or the program closes the port, the next bytes from the program
// log in again.

#include "Modes.h"
#include "platform/PseudoTerminal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace client {
namespace {

using namespace std::chrono_literals;

// Text that could still be one of the host's messages is held this long at most.
constexpr auto kHoldDelay = 100ms;
// While no program holds the pseudo-terminal, an open of its device wakes the relay
// (inotify); where the device cannot be watched, it is looked at this often instead.
constexpr auto kReopenCheck = 50ms;
// Writes to a program that does not read are given up after this long.
constexpr auto kProgramWriteLimit = 2s;

class Relay {
public:
    explicit Relay(ModeContext& context) : context_(context), options_(context.options) {}

    ~Relay()
    {
        // The link goes only when it still names this relay's device.
        std::error_code failure;
        if (!options_.ptyPath.empty() && !devicePath_.empty() &&
            std::filesystem::read_symlink(options_.ptyPath, failure) == devicePath_) {
            std::filesystem::remove(options_.ptyPath, failure);
        }
    }

    int run()
    {
        if (const int status = LogInAndReport(context_, session_, false); status != kExitOk) {
            return status;
        }
        forward(stream_.feed(session_.takeFirstBytes()));
        if (!(options_.ptyPath.empty() ? openListener() : openPty())) {
            return kExitFailure;
        }
        return loop();
    }

private:
    bool openPty()
    {
        // Raw both ways: no echo, no line editing, no CR/LF translation.
        std::string error;
        std::optional<platform::PseudoTerminal> terminal = platform::OpenPseudoTerminal(error);
        if (!terminal) {
            Say("cannot create a pseudo-terminal: " + error);
            return false;
        }
        master_ = std::move(terminal->controller);
        devicePath_ = terminal->devicePath;
        // Closing the device end here lets the controller end report when a program
        // holds it: a hang-up while none does. That state has no event of its own, so
        // the device's opens are watched instead.
        terminal->device.reset();
        opens_ = Descriptor(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
        if (opens_.valid() && ::inotify_add_watch(opens_.get(), devicePath_.c_str(), IN_OPEN) < 0) {
            opens_.reset();
        }
        std::error_code failure;
        const std::filesystem::path link = options_.ptyPath;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, failure))) {
            std::filesystem::remove(link, failure); // a link left by an earlier run
        } else if (std::filesystem::exists(std::filesystem::symlink_status(link, failure))) {
            Say(options_.ptyPath + " exists and is not a link; give another path");
            devicePath_.clear();
            return false;
        }
        std::filesystem::create_symlink(devicePath_, link, failure);
        if (failure) {
            Say("cannot create the link " + options_.ptyPath + ": " + failure.message());
            devicePath_.clear();
            return false;
        }
        Say("the radio is on " + options_.ptyPath + " (" + devicePath_ + ")");
        return true;
    }

    bool openListener()
    {
        std::string error;
        listener_ = ListenTcp(options_.listenAddress, *options_.listenPort, error);
        if (!listener_.valid()) {
            Say(error);
            return false;
        }
        Say("the radio is on " + options_.listenAddress + " port " + std::to_string(LocalPort(listener_.get())));
        return true;
    }

    int loop()
    {
        while (status_ < 0) {
            const int programFd = listener_.valid() ? local_.get() : (portOpen_ ? master_.get() : -1);
            const bool awaitingOpen = master_.valid() && !portOpen_;
            pollfd entries[5] = {{programFd, POLLIN, 0},
                                 {session_.connected() ? session_.fd() : -1, POLLIN, 0},
                                 {listener_.valid() ? listener_.get() : -1, POLLIN, 0},
                                 {context_.signalFd, POLLIN, 0},
                                 {awaitingOpen ? opens_.get() : -1, POLLIN, 0}};
            int timeout = -1;
            if (stream_.holding()) {
                timeout = static_cast<int>(kHoldDelay.count());
            }
            if (awaitingOpen && !opens_.valid()) {
                timeout = static_cast<int>(kReopenCheck.count());
            }
            const int ready = ::poll(entries, 5, timeout);
            if (ready < 0) {
                continue;
            }
            if (entries[3].revents != 0) {
                signalfd_siginfo info{};
                (void)!::read(context_.signalFd, &info, sizeof info);
                Say("stopped");
                return kExitOk;
            }
            if (ready == 0) {
                forward(stream_.flush());
            }
            if (entries[1].revents != 0) {
                fromHost();
            }
            if (entries[2].revents != 0) {
                accept();
            }
            if (entries[0].revents != 0) {
                fromProgram(programFd);
            }
            if (entries[4].revents != 0) {
                // What was opened does not matter: the check below tells whether a
                // program holds the device now.
                char events[4096];
                while (::read(opens_.get(), events, sizeof events) > 0) {
                }
            }
            if (master_.valid() && !portOpen_) {
                watchForOpen();
            }
        }
        return status_;
    }

    void watchForOpen()
    {
        pollfd entry{master_.get(), POLLIN, 0};
        if (::poll(&entry, 1, 0) >= 0 && (entry.revents & POLLHUP) == 0) {
            portOpen_ = true;
            Say("a program opened " + options_.ptyPath);
        }
    }

    void accept()
    {
        Descriptor incoming(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!incoming.valid()) {
            return;
        }
        if (local_.valid()) {
            // One program at a time, as the host itself serves one operator.
            WriteAll(incoming.get(), "BUSY;", 100ms);
            return;
        }
        local_ = std::move(incoming);
        Say("a program connected");
    }

    void fromProgram(int fd)
    {
        std::string received;
        const ReadStatus status = ReadAvailable(fd, received);
        if (status == ReadStatus::WouldBlock) {
            return;
        }
        if (status != ReadStatus::Data) {
            programLeft();
            return;
        }
        const std::string bytes = WithoutLineEnds(received);
        if (bytes.empty()) {
            return;
        }
        if (!session_.connected() && !logInAgain()) {
            return;
        }
        if (!session_.send(bytes)) {
            sessionEnded(DescribeSessionEnd(SessionItem::Kind::RadioText));
        }
    }

    // The program closed the port or its connection: the radio is freed for others.
    void programLeft()
    {
        if (listener_.valid()) {
            local_.reset();
            Say("the program disconnected");
        } else {
            portOpen_ = false;
            Say("the program closed " + options_.ptyPath);
        }
        if (session_.connected()) {
            session_.close();
            stream_ = SessionStream();
            Say("session ended; the program's next command logs in again");
        }
    }

    bool logInAgain()
    {
        Say("logging in again for the program's command");
        HostSession fresh;
        const LoginOutcome outcome = fresh.open(context_.login, context_.retry);
        Say(DescribeLogin(outcome, context_.login));
        if (!outcome.loggedIn()) {
            const int status = ExitStatusOf(outcome);
            // Credentials that the host refuses now will not be accepted later.
            if (status == kExitRefused || status == kExitDisabled || status == kExitProtocol) {
                status_ = status;
            }
            return false;
        }
        session_ = std::move(fresh);
        stream_ = SessionStream();
        forward(stream_.feed(session_.takeFirstBytes()));
        return true;
    }

    void fromHost()
    {
        std::string received;
        const ReadStatus status = session_.receive(received);
        if (status == ReadStatus::Data) {
            forward(stream_.feed(received));
        } else if (status != ReadStatus::WouldBlock) {
            forward(stream_.flush());
            sessionEnded(DescribeSessionEnd(SessionItem::Kind::RadioText));
        }
    }

    void forward(const std::vector<SessionItem>& items)
    {
        for (const SessionItem& item : items) {
            switch (item.kind) {
            case SessionItem::Kind::RadioText:
            case SessionItem::Kind::AccountReply:
                toProgram(item.text);
                break;
            case SessionItem::Kind::Voice:
                Say("the host answers telephone calls during this session");
                CallIfOffered(context_, session_, item);
                break;
            case SessionItem::Kind::IdleTimeout:
            case SessionItem::Kind::CommandTooLong:
            case SessionItem::Kind::RadioLost:
                sessionEnded(DescribeSessionEnd(item.kind));
                return;
            }
        }
    }

    void toProgram(const std::string& text)
    {
        const int fd = listener_.valid() ? local_.get() : (portOpen_ ? master_.get() : -1);
        if (fd < 0) {
            return; // no program to hear it
        }
        if (!WriteAll(fd, text, kProgramWriteLimit)) {
            Say("the program does not read; radio text dropped");
        }
    }

    void sessionEnded(const std::string& why)
    {
        session_.close();
        stream_ = SessionStream();
        Say(why + "; the program's next command logs in again");
    }

    ModeContext& context_;
    const Options& options_;
    HostSession session_;
    SessionStream stream_;
    Descriptor master_;   // --pty: the controller end
    Descriptor opens_;    // --pty: inotify, the device's opens; invalid where unwatchable
    std::string devicePath_;
    bool portOpen_ = false;
    Descriptor listener_; // --listen
    Descriptor local_;    // --listen: the connected program
    int status_ = -1;
};

} // namespace

int RunRelay(ModeContext& context)
{
    Relay relay(context);
    return relay.run();
}

} // namespace client
