// SPDX-License-Identifier: GPL-3.0-or-later
#include "serport/Serport.h"

#include "LineSettings.h"

#include "platform/ComPorts.h"
#include "platform/Descriptor.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char* kOpenError = "Error opening COM port";
// The reader's thread name, as ps and debuggers show it (at most 15 characters).
constexpr const char* kReaderName = "serport-reader";

// Lets the line settle after the settings changed, before the reader starts.
constexpr auto kSettleTime = std::chrono::milliseconds(100);
// Slack a write gets on top of the time its bytes need on the line.
constexpr auto kWriteGrace = std::chrono::seconds(2);
constexpr auto kDrainPoll = std::chrono::milliseconds(2);
// The longest a single write may wait, however slow the line and long the text.
constexpr auto kWriteLimit = std::chrono::hours(1);

int OpenDevice(const std::string& path)
{
    int device = -1;
    do {
        device = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (device < 0 && errno == EINTR);
    return device;
}

void Signal(int eventFd)
{
    if (eventFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(eventFd, &one, sizeof one);
    }
}

// A second opener of the same device is refused, as a port that is not shared.
// Only a lock held elsewhere counts: a file system without flock support does not
// make the port unusable. A terminal that another program has put in exclusive mode
// (TIOCEXCL) refuses ordinary openers by itself, but lets a privileged one in: that
// one must not share the line either, so the mode found set counts as held elsewhere.
bool LockExclusively(int device)
{
    int result = 0;
    do {
        result = ::flock(device, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
        return false;
    }
    int exclusive = 0;
    if (::ioctl(device, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        return false;
    }
    ::ioctl(device, TIOCEXCL); // ignored where unsupported, as all settings are
    return true;
}

// The settings for the first opening: raw bytes, receiver on, modem status lines
// ignored, no hardware or software flow control. Breaks and characters with line
// errors are dropped so that they cannot turn into zero bytes, which end received text.
// False when the line cannot take `settings` (no such speed or character size).
bool WorkingSettings(const termios& current, const serport::LineSettings& settings, termios& work)
{
    work = current;
    ::cfmakeraw(&work);
    work.c_cflag |= CLOCAL | CREAD;
    work.c_cflag &= ~CRTSCTS;
    work.c_iflag &= ~(IXON | IXOFF | IXANY);
    work.c_iflag |= IGNBRK | IGNPAR;
    work.c_cc[VMIN] = 1;
    work.c_cc[VTIME] = 0;
    return serport::ApplyLineSettings(work, settings);
}

// Applies `work` and reads it back: a device may take the call but keep its old speed.
bool SetAndCheck(int device, const termios& work, const serport::LineSettings& settings)
{
    termios readBack{};
    return ::tcsetattr(device, TCSANOW, &work) == 0 && ::tcgetattr(device, &readBack) == 0 &&
           serport::HasLineSettings(readBack, settings);
}

// Errors after which the device will not work again: hung up, unplugged, gone.
bool LineGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == EPIPE;
}

void Drain(int eventFd)
{
    std::uint64_t count = 0;
    while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

// RTS on, DTR off. Lines without modem control (a pseudo-terminal) refuse; that is ignored.
void SetModemLines(int device)
{
    const int rts = TIOCM_RTS;
    ::ioctl(device, TIOCMBIS, &rts);
    const int dtr = TIOCM_DTR;
    ::ioctl(device, TIOCMBIC, &dtr);
}

// Gives the device back as it was found: its settings, other openers allowed, closed.
void ReleaseDevice(int device, const termios& saved)
{
    ::tcsetattr(device, TCSANOW, &saved);
    ::ioctl(device, TIOCNXCL);
    platform::CloseDescriptor(device);
}

std::chrono::nanoseconds WriteBudget(std::int64_t characterTimeNs, unsigned long count)
{
    const std::int64_t limitNs = std::chrono::nanoseconds(kWriteLimit).count();
    if (characterTimeNs > 0 && count > static_cast<unsigned long>(limitNs / characterTimeNs)) {
        return kWriteLimit;
    }
    return kWriteGrace + std::chrono::nanoseconds(characterTimeNs * static_cast<std::int64_t>(count));
}

// Waits, within the time the queued bytes need on the line plus a grace, until the
// device has sent its output queue; false when a stuck line still holds bytes.
bool DrainOutput(int device, std::int64_t characterTimeNs)
{
    int queued = 0;
    if (::ioctl(device, TIOCOUTQ, &queued) != 0) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          WriteBudget(characterTimeNs, static_cast<unsigned long>(std::max(queued, 0)));
    while (queued > 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kDrainPoll);
        if (::ioctl(device, TIOCOUTQ, &queued) != 0) {
            return true;
        }
    }
    return true;
}

} // namespace

CSerport::CSerport() = default;

CSerport::~CSerport()
{
    CloseComPort();
}

int CSerport::OpenComPort(unsigned port, unsigned baud, unsigned parity, unsigned dataBits, unsigned stopBits,
                          int clearBuffer)
{
    const serport::LineSettings settings = serport::MakeLineSettings(baud, parity, dataBits, stopBits);
    std::lock_guard lifecycle(lifecycleMutex_);
    if (open_.load()) {
        if (!Reconfigure(settings)) {
            platform::ShowMessageBox(kOpenError);
            return 0;
        }
        return 1;
    }

    int device = OpenDevice(platform::ComPortDevicePath(port));
    openError_.store(device < 0 ? errno : 0);
    termios saved{};
    if (device >= 0 && !LockExclusively(device)) {
        openError_.store(EBUSY);
    } else if (device >= 0 && ::tcgetattr(device, &saved) != 0) {
        // A device that is not a terminal has no line settings: it is no serial port.
        openError_.store(ENOTTY);
    }
    if (openError_.load() != 0) {
        platform::CloseDescriptor(device);
        platform::ShowMessageBox(kOpenError);
        return 0;
    }
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        openError_.store(errno);
        ReleaseDevice(device, saved);
        platform::ShowMessageBox(kOpenError);
        return 0;
    }

    termios work{};
    if (!WorkingSettings(saved, settings, work) || !SetAndCheck(device, work, settings)) {
        openError_.store(EINVAL); // the line does not take the speed or character size
        ReleaseDevice(device, saved);
        platform::CloseDescriptor(wake);
        platform::ShowMessageBox(kOpenError);
        return 0;
    }
    SetModemLines(device);
    ::tcflush(device, TCOFLUSH);
    ::tcflush(device, TCIFLUSH);
    std::this_thread::sleep_for(kSettleTime);

    if (clearBuffer != 0) {
        std::lock_guard lock(receiveMutex_);
        receiveLength_ = 0;
        receiveBuffer_[0] = 0;
    }
    savedSettings_ = saved;
    lineLost_.store(false);
    characterTimeNs_.store(serport::CharacterTime(settings).count());
    {
        std::lock_guard lock(writeMutex_);
        device_ = device;
        wake_ = wake;
    }
    run_.store(true);
    try {
        reader_ = std::thread(&CSerport::ReadThread, this, device, wake);
        ::pthread_setname_np(reader_.native_handle(), kReaderName);
    } catch (const std::system_error&) {
        openError_.store(EAGAIN);
        run_.store(false);
        std::lock_guard lock(writeMutex_);
        ReleaseDevice(device, saved);
        platform::CloseDescriptor(wake);
        device_ = -1;
        wake_ = -1;
        platform::ShowMessageBox(kOpenError);
        return 0;
    }
    open_.store(true);
    return 1;
}

bool CSerport::Reconfigure(const serport::LineSettings& settings)
{
    termios current{};
    if (::tcgetattr(device_, &current) != 0) {
        return false;
    }
    termios work = current;
    if (!serport::ApplyLineSettings(work, settings) || !SetAndCheck(device_, work, settings)) {
        ::tcsetattr(device_, TCSANOW, &current);
        return false;
    }
    characterTimeNs_.store(serport::CharacterTime(settings).count());
    return true;
}

void CSerport::CloseComPort()
{
    std::lock_guard lifecycle(lifecycleMutex_);
    if (!open_.load()) {
        return;
    }
    open_.store(false);
    {
        // Taken so that a WaitRcvData between its check and its wait cannot miss the wake-up.
        std::lock_guard lock(receiveMutex_);
    }
    received_.notify_all();

    run_.store(false);
    Signal(wake_);
    reader_.join();

    std::lock_guard lock(writeMutex_);
    // Output that Write accepted is sent before the device is given back (the
    // host's last commands to the radio come just before the close); only a
    // stuck or lost line has its queue discarded.
    if (lineLost_.load() || !DrainOutput(device_, characterTimeNs_.load())) {
        ::tcflush(device_, TCOFLUSH);
    }
    ::tcflush(device_, TCIFLUSH);
    ReleaseDevice(device_, savedSettings_);
    platform::CloseDescriptor(wake_);
    device_ = -1;
}

int CSerport::Write(const unsigned char* bytes, unsigned long count)
{
    std::lock_guard lock(writeMutex_);
    if (!open_.load() || device_ < 0 || lineLost_.load()) {
        return 0;
    }
    if (count == 0) {
        return 1;
    }
    if (bytes == nullptr) {
        return 0;
    }

    const auto deadline = std::chrono::steady_clock::now() + WriteBudget(characterTimeNs_.load(), count);
    unsigned long sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(device_, bytes + sent, count - sent);
        if (written > 0) {
            sent += static_cast<unsigned long>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (LineGone(errno)) {
                LoseLine();
            }
            return 0;
        }
        // The output queue is full: wait for room, for the deadline, or for CloseComPort.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return 0;
        }
        pollfd entries[2] = {{device_, POLLOUT, 0}, {wake_, POLLIN, 0}};
        const int ready = ::poll(entries, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return 0;
        }
        if (entries[1].revents != 0) {
            return 0;
        }
        if ((entries[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            LoseLine();
            return 0;
        }
    }
    return 1;
}

void CSerport::LoseLine()
{
    lineLost_.store(true);
    {
        std::lock_guard lock(receiveMutex_);
    }
    received_.notify_all();
    Signal(wake_);
}

int CSerport::GetOpenError()
{
    return openError_.load();
}

int CSerport::GetLineLost()
{
    return lineLost_.load() ? 1 : 0;
}

void CSerport::ReceiverReg(CSerportReceiver* receiver)
{
    receiver_.store(receiver);
}

int CSerport::GetRcvData(unsigned char* dst)
{
    return GetRcvData(dst, nullptr);
}

int CSerport::GetRcvData(unsigned char* dst, int* textLost)
{
    return GetRcvData(dst, textLost, nullptr);
}

int CSerport::GetRcvData(unsigned char* dst, int* textLost, unsigned long* length)
{
    std::lock_guard lock(receiveMutex_);
    std::memcpy(dst, receiveBuffer_, receiveLength_ + 1);
    if (length != nullptr) {
        *length = receiveLength_;
    }
    receiveLength_ = 0;
    receiveBuffer_[0] = 0;
    if (textLost != nullptr) {
        *textLost = textLost_ ? 1 : 0;
    }
    textLost_ = false;
    return 1;
}

unsigned CSerport::GetRcvDataLength()
{
    std::lock_guard lock(receiveMutex_);
    return static_cast<unsigned>(receiveLength_);
}

int CSerport::WaitRcvData(unsigned milliseconds)
{
    std::unique_lock lock(receiveMutex_);
    received_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                       [this] { return receiveLength_ > 0 || !open_.load() || lineLost_.load(); });
    return receiveLength_ > 0 ? 1 : 0;
}

void CSerport::WinMsgSendReg(platform::WindowHandle window)
{
    notifyWindow_.store(window);
}

// Sleeps in poll() on the wake-up eventfd and the device. Received text goes to the
// buffer and the receiver. A hang-up, an end of file or a lasting read error loses
// the line, as does a failed Write (which raises the eventfd): the receiver is told
// once, and the thread then sleeps on the eventfd alone until CloseComPort.
void CSerport::ReadThread(int device, int wake)
{
    unsigned char chunk[kReceiveCapacity];
    bool lost = false;
    const auto reportLoss = [this, &lost] {
        lost = true;
        lineLost_.store(true);
        {
            std::lock_guard lock(receiveMutex_);
        }
        received_.notify_all();
        if (CSerportReceiver* receiver = receiver_.load()) {
            receiver->OnSerportLineLost(*this);
        }
    };
    while (run_.load()) {
        pollfd entries[2] = {{wake, POLLIN, 0}, {device, POLLIN, 0}};
        if (::poll(entries, lost ? 1 : 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (lost) {
                break; // nothing left to wait on; CloseComPort joins the thread
            }
            reportLoss();
            continue;
        }
        if (entries[0].revents != 0) {
            if (!run_.load()) {
                break; // left raised: a Write waiting for room sees the close too
            }
            Drain(wake);
            if (!lost && lineLost_.load()) {
                reportLoss();
            }
            continue;
        }
        if (lost || entries[1].revents == 0) {
            continue;
        }
        const ssize_t received = ::read(device, chunk, sizeof chunk);
        if (received > 0) {
            DataIO(chunk, static_cast<std::size_t>(received));
            continue;
        }
        const bool hungUp = (entries[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !hungUp) {
            continue;
        }
        reportLoss();
    }
}

// Appends received bytes to the buffer, keeping the newest kReceiveCapacity characters.
// Every byte counts, zero bytes too: a radio's modem sends binary frames.
void CSerport::DataIO(const unsigned char* bytes, std::size_t count)
{
    const unsigned char* text = bytes;
    std::size_t length = count;
    {
        std::lock_guard lock(receiveMutex_);
        if (length >= kReceiveCapacity) {
            textLost_ = textLost_ || receiveLength_ > 0 || length > kReceiveCapacity;
            text += length - kReceiveCapacity;
            length = kReceiveCapacity;
            receiveLength_ = 0;
        } else if (receiveLength_ + length > kReceiveCapacity) {
            const std::size_t drop = receiveLength_ + length - kReceiveCapacity;
            std::memmove(receiveBuffer_, receiveBuffer_ + drop, receiveLength_ - drop);
            receiveLength_ -= drop;
            textLost_ = true;
        }
        std::memcpy(receiveBuffer_ + receiveLength_, text, length);
        receiveLength_ += length;
        receiveBuffer_[receiveLength_] = 0;

        // Posted under the lock: once a length is visible, its message has been posted.
        platform::PostMessage(notifyWindow_.load(), WM_SERPORT_DATA, 1, static_cast<platform::LParam>(receiveLength_));
    }
    received_.notify_all();
    if (CSerportReceiver* receiver = receiver_.load()) {
        receiver->OnSerportData(*this);
    }
}
