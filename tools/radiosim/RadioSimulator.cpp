// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiosim/RadioSimulator.h"

#include "platform/PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace radiosim {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Commands kept for receivedCommands(); older ones are dropped in halves.
constexpr std::size_t kMaxRecorded = 65536;
// Pass-through text kept for passThroughText(); older text is dropped.
constexpr std::size_t kMaxPassThroughText = 1 << 20;
// How long the close fault waits for the other end to read the last answers.
constexpr auto kDrainLimit = std::chrono::seconds(1);
constexpr auto kDrainSettle = std::chrono::milliseconds(50);

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool AddFlags(int fd, int statusFlags, int descriptorFlags)
{
    const int status = ::fcntl(fd, F_GETFL);
    const int descriptor = ::fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && ::fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
           ::fcntl(fd, F_SETFD, descriptor | descriptorFlags) == 0;
}

speed_t SpeedFor(unsigned baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

} // namespace

RadioSimulator::RadioSimulator(Options options)
    : options_(std::move(options)),
      charTime_(options_.baud == 0 ? std::chrono::nanoseconds(0)
                                   : std::chrono::nanoseconds(10'000'000'000LL / options_.baud)),
      transceiver_(options_.model)
{
}

RadioSimulator::~RadioSimulator()
{
    stop();
    platform::CloseDescriptor(wake_);
}

bool RadioSimulator::start()
{
    if (thread_.joinable()) {
        error_ = "already started";
        return false;
    }
    // Raw mode: no echo, no line editing, no CR/LF translation of the protocol bytes.
    std::optional<platform::PseudoTerminal> terminal = platform::OpenPseudoTerminal(error_);
    if (!terminal) {
        return false;
    }
    deviceKeepOpen_ = terminal->device.release();
    devicePath_ = terminal->devicePath;
    return launch(terminal->controller.release());
}

bool RadioSimulator::startOnDevice(const std::string& path)
{
    if (thread_.joinable()) {
        error_ = "already started";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = SystemError(path.c_str());
        return false;
    }
    if (::isatty(fd) != 0) {
        termios settings{};
        if (::tcgetattr(fd, &settings) != 0) {
            error_ = SystemError("tcgetattr");
            ::close(fd);
            return false;
        }
        savedTermios_ = settings;
        platform::MakeRaw(settings);
        const speed_t speed = SpeedFor(options_.baud);
        if (speed != B0) {
            ::cfsetispeed(&settings, speed);
            ::cfsetospeed(&settings, speed);
        }
        if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
            error_ = SystemError("tcsetattr");
            ::close(fd);
            return false;
        }
        restoreTermios_ = true;
    }
    devicePath_ = path;
    return launch(fd);
}

bool RadioSimulator::startOnDescriptor(int fd)
{
    if (thread_.joinable()) {
        error_ = "already started";
        ::close(fd);
        return false;
    }
    if (!AddFlags(fd, O_NONBLOCK, FD_CLOEXEC)) {
        error_ = SystemError("fcntl");
        ::close(fd);
        return false;
    }
    return launch(fd);
}

bool RadioSimulator::launch(int fd)
{
    if (wake_ < 0) {
        wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    if (wake_ < 0) {
        error_ = SystemError("eventfd");
        fd_ = fd;
        closeDevice();
        return false;
    }
    fd_ = fd;
    stopRequested_ = false;
    {
        std::lock_guard lock(mutex_);
        closed_ = false;
    }
    running_ = true;
    thread_ = std::thread(&RadioSimulator::run, this);
    return true;
}

void RadioSimulator::stop()
{
    stopRequested_ = true;
    if (thread_.joinable()) {
        wake();
        thread_.join();
    }
    closeDevice();
    running_ = false;
}

void RadioSimulator::wake()
{
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        // A full counter already means "wake up"; nothing else can fail here.
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    }
}

// Gives the other end up to a second to read what was sent: a pseudo-terminal
// whose controller closes discards what its device end has not read. Written
// bytes reach the device end's queue a little later, so the queue must stay
// empty for a while before the line counts as drained.
void RadioSimulator::drainOutput()
{
    const auto start = SteadyClock::now();
    auto emptySince = start;
    while (SteadyClock::now() - start < kDrainLimit) {
        int pending = 0;
        const int result = deviceKeepOpen_ >= 0 ? ::ioctl(deviceKeepOpen_, FIONREAD, &pending)
                                                : ::ioctl(fd_, TIOCOUTQ, &pending);
        const auto now = SteadyClock::now();
        if (result != 0) {
            return;
        }
        if (pending > 0) {
            emptySince = now;
        } else if (now - emptySince >= kDrainSettle) {
            return;
        }
        if (!pauseUntil(now + std::chrono::milliseconds(2))) {
            return;
        }
    }
}

void RadioSimulator::closeDevice()
{
    if (fd_ >= 0 && restoreTermios_) {
        ::tcsetattr(fd_, TCSANOW, &savedTermios_);
        restoreTermios_ = false;
    }
    platform::CloseDescriptor(fd_);
    platform::CloseDescriptor(deviceKeepOpen_);
}

void RadioSimulator::run()
{
    random_.seed(std::random_device{}());
    std::string input;
    SteadyClock::time_point inputDone{};
    while (!stopRequested_) {
        if (!flushOutgoing()) {
            break;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wake_, &count, sizeof count);
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n == 0) {
            break; // the other end hung up
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            break;
        }
        input.append(buffer, static_cast<std::size_t>(n));
        if (charTime_.count() > 0) {
            // The line delivers one character per character time: the last byte
            // read arrives n character times after the previous ones did.
            inputDone = std::max(SteadyClock::now(), inputDone) + charTime_ * n;
        }
        bool closeFault = false;
        if (!serveInput(input, inputDone, closeFault)) {
            if (closeFault) {
                drainOutput();
            }
            break;
        }
    }
    closeDevice();
    const bool byItself = !stopRequested_;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    running_ = false;
    changed_.notify_all();
    if (byItself && options_.onClosed) {
        options_.onClosed();
    }
}

// Feeds the received bytes to the radio one command at a time; false when the
// thread is to end (stop, a write error, or the close fault: then `closeFault`).
bool RadioSimulator::serveInput(std::string& input, SteadyClock::time_point& inputDone, bool& closeFault)
{
    while (!input.empty() && !stopRequested_) {
        std::vector<Event> events;
        std::size_t consumed = 0;
        {
            std::lock_guard lock(mutex_);
            consumed = transceiver_.consume(input, events);
        }
        if (charTime_.count() > 0) {
            const auto stillOnTheLine = static_cast<long long>(input.size() - consumed);
            if (!pauseUntil(inputDone - charTime_ * stillOnTheLine)) {
                return false;
            }
        }
        input.erase(0, consumed);
        if (!sendEvents(events, closeFault) || closeFault) {
            return false;
        }
    }
    return !stopRequested_;
}

bool RadioSimulator::sendEvents(std::vector<Event>& events, bool& closeNow)
{
    bool answered = false;
    for (Event& event : events) {
        switch (event.type) {
        case Event::Type::Command:
            if (options_.trace) {
                options_.trace(Direction::Received, event.text);
            }
            closeNow = record(event.text) || closeNow;
            answered = false;
            break;
        case Event::Type::Reply:
            if (silent_) {
                break;
            }
            if (!answered && options_.replyDelay.count() > 0 &&
                !pauseUntil(SteadyClock::now() + options_.replyDelay)) {
                return false;
            }
            answered = true;
            if (!sendReply(event.text)) {
                return false;
            }
            break;
        case Event::Type::Echo: {
            {
                std::lock_guard lock(mutex_);
                passThroughText_ += event.text;
                if (passThroughText_.size() > kMaxPassThroughText) {
                    passThroughText_.erase(0, passThroughText_.size() - kMaxPassThroughText);
                }
            }
            if (silent_) {
                break;
            }
            if (options_.trace) {
                options_.trace(Direction::Sent, event.text);
            }
            if (!writePaced(event.text)) {
                return false;
            }
            break;
        }
        }
    }
    return true;
}

bool RadioSimulator::record(std::string_view command)
{
    bool closeNow = false;
    {
        std::lock_guard lock(mutex_);
        if (received_.size() >= kMaxRecorded) {
            received_.erase(received_.begin(), received_.begin() + kMaxRecorded / 2);
        }
        received_.emplace_back(command);
        ++commandCount_;
        if (closeAfter_ > 0 && --closeAfter_ == 0) {
            closeNow = true;
        }
    }
    changed_.notify_all();
    return closeNow;
}

bool RadioSimulator::sendReply(std::string_view text)
{
    std::string noise;
    std::vector<std::size_t> cuts;
    {
        std::lock_guard lock(mutex_);
        noise = noise_;
        cuts = splitPoints_;
    }
    if (randomNoise_) {
        noise.clear();
        const auto length = std::uniform_int_distribution<std::size_t>(1, 8)(random_);
        std::uniform_int_distribution<int> byte(0, 255);
        while (noise.size() < length) {
            const char c = static_cast<char>(byte(random_));
            if (c != ';') {
                noise += c;
            }
        }
    }
    if (randomSplit_) {
        cuts.clear();
        if (text.size() > 1) {
            std::uniform_int_distribution<std::size_t> offset(1, text.size() - 1);
            const auto count = std::uniform_int_distribution<int>(1, 3)(random_);
            for (int i = 0; i < count; ++i) {
                cuts.push_back(offset(random_));
            }
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::erase_if(cuts, [&](std::size_t cut) { return cut == 0 || cut >= text.size(); });

    if (!noise.empty() && !writePaced(noise)) {
        return false;
    }
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        if (!writePaced(text.substr(from, cut - from)) ||
            !pauseUntil(SteadyClock::now() + options_.pieceGap)) {
            return false;
        }
        from = cut;
    }
    if (!writePaced(text.substr(from))) {
        return false;
    }
    if (options_.trace) {
        options_.trace(Direction::Sent, text);
    }
    return true;
}

bool RadioSimulator::flushOutgoing()
{
    while (!stopRequested_) {
        Outgoing next;
        {
            std::lock_guard lock(mutex_);
            if (outgoing_.empty()) {
                return true;
            }
            next = std::move(outgoing_.front());
            outgoing_.pop_front();
        }
        if (next.reply && silent_) {
            continue;
        }
        if (!next.reply && options_.trace) {
            options_.trace(Direction::Sent, next.text);
        }
        if (!(next.reply ? sendReply(next.text) : writePaced(next.text))) {
            return false;
        }
    }
    return false;
}

bool RadioSimulator::writePaced(std::string_view bytes)
{
    if (charTime_.count() == 0) {
        return writeSome(bytes);
    }
    for (char c : bytes) {
        if (!pauseUntil(outputFree_) || !writeSome(std::string_view(&c, 1))) {
            return false;
        }
        outputFree_ = std::max(SteadyClock::now(), outputFree_) + charTime_;
    }
    return true;
}

bool RadioSimulator::writeSome(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitWritable()) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

// Waits until the device takes more bytes; false on stop or a device error.
bool RadioSimulator::waitWritable()
{
    while (!stopRequested_) {
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wake_, &count, sizeof count);
        }
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            return true;
        }
    }
    return false;
}

// Sleeps until `deadline`, interruptibly; false when a stop was requested.
bool RadioSimulator::pauseUntil(SteadyClock::time_point deadline)
{
    while (!stopRequested_) {
        const auto now = SteadyClock::now();
        if (now >= deadline) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        const timespec timeout{static_cast<time_t>(left.count() / 1'000'000'000),
                               static_cast<long>(left.count() % 1'000'000'000)};
        pollfd wakeFd{wake_, POLLIN, 0};
        if (::ppoll(&wakeFd, 1, &timeout, nullptr) > 0 && (wakeFd.revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wake_, &count, sizeof count);
        }
    }
    return false;
}

bool RadioSimulator::waitUntilClosed(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return closed_; });
}

std::vector<std::string> RadioSimulator::receivedCommands() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t RadioSimulator::commandCount() const
{
    std::lock_guard lock(mutex_);
    return commandCount_;
}

bool RadioSimulator::waitForCommand(std::string_view command, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        return std::find(received_.begin(), received_.end(), command) != received_.end();
    });
}

bool RadioSimulator::waitForCommandCount(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return commandCount_ >= count; });
}

void RadioSimulator::clearReceivedCommands()
{
    std::lock_guard lock(mutex_);
    received_.clear();
    commandCount_ = 0;
    passThroughText_.clear();
}

std::string RadioSimulator::passThroughText() const
{
    std::lock_guard lock(mutex_);
    return passThroughText_;
}

void RadioSimulator::inject(std::string_view text)
{
    {
        std::lock_guard lock(mutex_);
        outgoing_.push_back(Outgoing{std::string(text), false});
    }
    wake();
}

bool RadioSimulator::operate(std::string_view command)
{
    bool accepted = false;
    {
        std::lock_guard lock(mutex_);
        std::vector<Event> events;
        accepted = transceiver_.operate(command, events);
        for (Event& event : events) {
            outgoing_.push_back(Outgoing{std::move(event.text), true});
        }
    }
    wake();
    return accepted;
}

std::string RadioSimulator::query(std::string_view command) const
{
    std::lock_guard lock(mutex_);
    return transceiver_.query(command);
}

int RadioSimulator::model() const
{
    std::lock_guard lock(mutex_);
    return transceiver_.model();
}

bool RadioSimulator::poweredOn() const
{
    std::lock_guard lock(mutex_);
    return transceiver_.poweredOn();
}

bool RadioSimulator::transmitting() const
{
    std::lock_guard lock(mutex_);
    return transceiver_.transmitting();
}

bool RadioSimulator::passThrough() const
{
    std::lock_guard lock(mutex_);
    return transceiver_.passThrough();
}

int RadioSimulator::autoInformation() const
{
    std::lock_guard lock(mutex_);
    return transceiver_.autoInformation();
}

void RadioSimulator::setSilent(bool silent)
{
    silent_ = silent;
}

void RadioSimulator::setSplitPoints(std::vector<std::size_t> cuts)
{
    std::lock_guard lock(mutex_);
    splitPoints_ = std::move(cuts);
}

void RadioSimulator::setRandomSplit(bool random)
{
    randomSplit_ = random;
}

void RadioSimulator::setNoise(std::string bytes)
{
    std::lock_guard lock(mutex_);
    noise_ = std::move(bytes);
}

void RadioSimulator::setRandomNoise(bool random)
{
    randomNoise_ = random;
}

void RadioSimulator::closeAfterCommands(std::size_t count)
{
    std::lock_guard lock(mutex_);
    closeAfter_ = count;
}

} // namespace radiosim
