// SPDX-License-Identifier: GPL-3.0-or-later
#include "serport/Serport.h"

#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WindowMessage.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/PtyPair.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

constexpr unsigned kPort = 5;
constexpr unsigned kMissingPort = 7;
constexpr unsigned kPlainFilePort = 8;
// A pseudo-terminal always reports 8 data bits and clears the parity-enable flag, so
// the tests read parity from PARODD and CMSPAR, which it keeps.
constexpr const char* kPtyParityNote = "parity as kept by a pseudo-terminal";

// Threads of this process named as the port's reader thread names itself.
std::size_t ReaderThreads()
{
    std::size_t readers = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        readers += name == "serport-reader" ? 1 : 0;
    }
    return readers;
}

// Processor time (user and system, in clock ticks) the port's reader thread has used;
// -1 when there is no reader.
long ReaderCpuTicks()
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name != "serport-reader") {
            continue;
        }
        // Fields after the parenthesised name: state is the 1st, utime the 12th, stime the 13th.
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long utime = 0;
        long stime = 0;
        for (int index = 1; index <= 13 && fields >> field; ++index) {
            utime = index == 12 ? std::stol(field) : utime;
            stime = index == 13 ? std::stol(field) : stime;
        }
        return utime + stime;
    }
    return -1;
}

int Write(CSerport& port, const std::string& text)
{
    return port.Write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string Take(CSerport& port)
{
    unsigned char text[CSerport::kReceiveCapacity + 1];
    std::memset(text, 'x', sizeof text);
    unsigned long length = 0;
    EXPECT_EQ(port.GetRcvData(text, nullptr, &length), 1);
    EXPECT_EQ(text[length], 0) << "the text is terminated after its length";
    return std::string(reinterpret_cast<const char*>(text), length);
}

// Takes received text until `size` characters have come or `limit` passed.
std::string Collect(CSerport& port, std::size_t size, std::chrono::milliseconds limit = 5s)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (text.size() < size && std::chrono::steady_clock::now() < deadline) {
        if (port.WaitRcvData(50) == 1) {
            text += Take(port);
        }
    }
    return text;
}

// A second descriptor on the device end, opened before the port under test so that
// the test can look at the line settings and the input queue. It never reads.
class DeviceObserver {
public:
    explicit DeviceObserver(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~DeviceObserver()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    DeviceObserver(const DeviceObserver&) = delete;
    DeviceObserver& operator=(const DeviceObserver&) = delete;

    int fd() const { return fd_; }
    termios settings() const
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(fd_, &tio), 0);
        return tio;
    }
    int queued() const
    {
        int count = -1;
        ::ioctl(fd_, FIONREAD, &count);
        return count;
    }

private:
    int fd_;
};

void ExpectSameSettings(const termios& actual, const termios& expected)
{
    EXPECT_EQ(actual.c_iflag, expected.c_iflag);
    EXPECT_EQ(actual.c_oflag, expected.c_oflag);
    EXPECT_EQ(actual.c_cflag, expected.c_cflag);
    EXPECT_EQ(actual.c_lflag, expected.c_lflag);
    EXPECT_EQ(cfgetispeed(&actual), cfgetispeed(&expected));
    EXPECT_EQ(cfgetospeed(&actual), cfgetospeed(&expected));
    EXPECT_EQ(0, std::memcmp(actual.c_cc, expected.c_cc, sizeof actual.c_cc));
}

// Calls WaitRcvData(30 s) on a thread of its own and returns once that thread sleeps
// in the wait, so that what the test does next has to wake it.
class BlockedWaiter {
public:
    explicit BlockedWaiter(CSerport& port)
        : result_(std::async(std::launch::async, [this, &port] {
              tid_.store(::gettid());
              return port.WaitRcvData(30'000);
          }))
    {
        EXPECT_TRUE(WaitUntil([this] { return tid_.load() != 0 && Sleeping(tid_.load()); }));
    }

    // The wait's result; fails the test if the wait did not end.
    int result()
    {
        if (result_.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "WaitRcvData was not woken";
            return -1;
        }
        return result_.get();
    }

private:
    static bool Sleeping(pid_t tid)
    {
        // The state follows the parenthesised command name in /proc/self/task/<tid>/stat.
        std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
        const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t end = line.rfind(')');
        return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'S';
    }

    std::atomic<pid_t> tid_{0};
    std::future<int> result_;
};

// One pseudo-terminal mapped to COM5 in a private profile; message boxes are captured.
class SerportTest : public ::testing::Test {
protected:
    SerportTest()
    {
        platform::SetApplicationProfilePath(dir_ / "Ondrel.ini");
        auto& profile = platform::ApplicationProfile();
        profile.WriteProfileString("COM Devices", "COM" + std::to_string(kPort), pty_.devicePath());
        profile.WriteProfileString("COM Devices", "COM" + std::to_string(kMissingPort),
                                   (dir_ / "no-such-device").string());
        std::ofstream(dir_ / "plain-file") << "not a terminal";
        profile.WriteProfileString("COM Devices", "COM" + std::to_string(kPlainFilePort),
                                   (dir_ / "plain-file").string());
    }

    int Open(CSerport& port, unsigned baud = 9600, unsigned parity = 0, unsigned dataBits = 8, unsigned stopBits = 1,
             int clearBuffer = 0)
    {
        return port.OpenComPort(kPort, baud, parity, dataBits, stopBits, clearBuffer);
    }

    std::vector<std::string> boxes() const { return boxes_.texts(); }

    testsupport::TempDir dir_;
    testsupport::PtyPair pty_;

private:
    testsupport::MessageBoxCapture boxes_;
};

TEST_F(SerportTest, PortsThatCannotBeOpenedAreRefusedWithAMessage)
{
    for (const unsigned number : {kMissingPort, kPlainFilePort, 0u}) {
        CSerport port;
        EXPECT_EQ(port.OpenComPort(number, 9600, 0, 8, 1, 1), 0) << "COM" << number;
        EXPECT_EQ(Write(port, "ID;"), 0);
        EXPECT_EQ(port.Write(nullptr, 0), 0);
        EXPECT_EQ(port.WaitRcvData(10'000), 0);
        port.CloseComPort();
        EXPECT_EQ(Take(port), "");
    }
    EXPECT_THAT(boxes(), ::testing::ElementsAre("Error opening COM port", "Error opening COM port",
                                                "Error opening COM port"));
}

TEST_F(SerportTest, APortIsNotShared)
{
    CSerport first;
    CSerport second;
    ASSERT_EQ(Open(first), 1);
    EXPECT_EQ(Open(second), 0);
    EXPECT_THAT(boxes(), ::testing::ElementsAre("Error opening COM port"));

    first.CloseComPort();
    ASSERT_EQ(Open(second), 1);
    pty_.send("ID;");
    EXPECT_EQ(Collect(second, 3), "ID;");
}

TEST_F(SerportTest, OpeningConfiguresTheLineAndClosingRestoresIt)
{
    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    // A cooked terminal at another speed, so that every change shows.
    termios before = observer.settings();
    before.c_iflag = ICRNL | IXON | IXOFF;
    before.c_oflag = OPOST | ONLCR;
    before.c_lflag = ICANON | ECHO | ISIG;
    before.c_cflag = (before.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | CS8 | CREAD | CRTSCTS;
    cfsetispeed(&before, B38400);
    cfsetospeed(&before, B38400);
    ASSERT_EQ(::tcsetattr(observer.fd(), TCSANOW, &before), 0);
    before = observer.settings();

    CSerport port;
    ASSERT_EQ(Open(port, 4800, 1, 7, 2), 1);
    const termios open = observer.settings();
    EXPECT_EQ(cfgetospeed(&open), speed_t{B4800});
    EXPECT_EQ(cfgetispeed(&open), speed_t{B4800});
    EXPECT_EQ(open.c_cflag & (PARODD | CMSPAR), tcflag_t{PARODD}) << kPtyParityNote;
    EXPECT_NE(open.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(open.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(open.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(open.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(open.c_oflag & OPOST, 0u);
    EXPECT_EQ(open.c_lflag & (ICANON | ECHO | ISIG), 0u);

    // Raw in both directions: no line ending is translated.
    pty_.send("A\rB\n");
    EXPECT_EQ(Collect(port, 4), "A\rB\n");
    EXPECT_EQ(Write(port, "C\nD\r"), 1);
    EXPECT_EQ(pty_.receive(4), "C\nD\r");

    port.CloseComPort();
    ExpectSameSettings(observer.settings(), before);
    port.CloseComPort();
    ExpectSameSettings(observer.settings(), before);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SerportTest, ParityCodesMeanTheSameAtOpeningAndOnReconfiguration)
{
    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    struct Row {
        unsigned code;
        tcflag_t flags;
    };
    // What a pseudo-terminal keeps of the parity (see kPtyParityNote) tells odd from
    // even and mark from space; LineSettingsTest covers the parity-enable flag.
    for (const Row& row : {Row{0, 0}, Row{1, PARODD}, Row{2, 0}, Row{3, CMSPAR | PARODD}, Row{4, CMSPAR}, Row{9, 0}}) {
        CSerport port;
        ASSERT_EQ(Open(port, 9600, row.code), 1);
        EXPECT_EQ(observer.settings().c_cflag & (PARODD | CMSPAR), row.flags) << "opening, code " << row.code;
        port.CloseComPort();

        // Reconfigure from the opposite state, so that a stale flag would show.
        ASSERT_EQ(Open(port, 9600, row.flags == 0 ? 3 : 0), 1);
        ASSERT_EQ(Open(port, 9600, row.code), 1);
        EXPECT_EQ(observer.settings().c_cflag & (PARODD | CMSPAR), row.flags) << "reconfiguration, code " << row.code;
        port.CloseComPort();
    }
}

TEST_F(SerportTest, ReopeningAnOpenPortReconfiguresItAndKeepsOneReader)
{
    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    
    CSerport port;
    ASSERT_EQ(Open(port, 9600, 0, 8, 1), 1);
    EXPECT_EQ(ReaderThreads(), 1u);
    pty_.send("FA;");
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == 3; }));

    // Reconfiguring neither clears the buffer nor starts a second reader.
    ASSERT_EQ(Open(port, 19200, 1, 7, 2, 1), 1);
    EXPECT_EQ(ReaderThreads(), 1u);
    const termios now = observer.settings();
    EXPECT_EQ(cfgetospeed(&now), speed_t{B19200});
    EXPECT_EQ(now.c_cflag & (PARODD | CMSPAR), tcflag_t{PARODD}) << kPtyParityNote;
    EXPECT_NE(now.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(now.c_lflag & ICANON, 0u) << "reconfiguration keeps the line raw";

    pty_.send("IF;");
    EXPECT_EQ(Collect(port, 6), "FA;IF;");
    EXPECT_EQ(Write(port, "ID;"), 1);
    EXPECT_EQ(pty_.receive(3), "ID;");

    port.CloseComPort();
    EXPECT_TRUE(WaitUntil([&] { return ReaderThreads() == 0; }));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SerportTest, ReceivedTextSurvivesACloseUnlessTheReopenClearsIt)
{
    CSerport port;
    EXPECT_EQ(Take(port), "") << "an empty buffer gives the empty string";

    ASSERT_EQ(Open(port), 1);
    pty_.send("PS1;");
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == 4; }));
    port.CloseComPort();
    EXPECT_EQ(port.GetRcvDataLength(), 4u);
    EXPECT_EQ(port.WaitRcvData(0), 1);

    ASSERT_EQ(Open(port, 9600, 0, 8, 1, 0), 1);
    pty_.send("PS0;");
    EXPECT_EQ(Collect(port, 8), "PS1;PS0;");
    EXPECT_EQ(Take(port), "");

    pty_.send("AI2;");
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == 4; }));
    port.CloseComPort();
    ASSERT_EQ(Open(port, 9600, 0, 8, 1, 1), 1);
    EXPECT_EQ(port.GetRcvDataLength(), 0u);
    EXPECT_EQ(Take(port), "");
}

TEST_F(SerportTest, TextSplitAnywhereArrivesWholeAndInOrder)
{
    const std::string text = "FA00014250000;IF00014250000     +00000000002000000;ID020;";
    CSerport port;
    ASSERT_EQ(Open(port), 1);
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        pty_.send(text.substr(0, cut));
        pty_.send(text.substr(cut));
        ASSERT_EQ(Collect(port, text.size()), text) << "cut at " << cut;
    }
    for (const char c : text) {
        pty_.send(std::string(1, c));
    }
    EXPECT_EQ(Collect(port, text.size()), text);
}

// A radio's modem sends binary frames: zero bytes are part of the text, wherever they stand.
TEST_F(SerportTest, ZeroBytesArriveWithTheTextAroundThem)
{
    using namespace std::string_literals;
    const std::string frames[] = {"\0"s, "\0\0\0ID;"s, "FA\0\x01\xff\0;"s, "\x7e\x00\x10\x00\x7e"s, "IF;\0"s};
    CSerport port;
    ASSERT_EQ(Open(port), 1);
    for (const std::string& frame : frames) {
        pty_.send(frame);
        EXPECT_EQ(Collect(port, frame.size()), frame) << "frame of " << frame.size() << " bytes";
    }
}

TEST_F(SerportTest, AnOverflowingBufferKeepsTheNewestText)
{
    std::mt19937 random(20240607);
    std::string stream(3000, ' ');
    std::generate(stream.begin(), stream.end(), [&] { return static_cast<char>('a' + random() % 26); });
    stream.back() = '!';

    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    CSerport port;
    ASSERT_EQ(Open(port), 1);
    pty_.send(stream);
    // Everything has left the device queue, so at most the reader's last chunk is still
    // on its way into the buffer; take what has piled up, then the rest.
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == CSerport::kReceiveCapacity && observer.queued() == 0; }));
    unsigned char taken[CSerport::kReceiveCapacity + 1] = {};
    int lost = 0;
    ASSERT_EQ(port.GetRcvData(taken, &lost), 1);
    EXPECT_EQ(lost, 1) << "the taken text does not continue what came before";
    const std::string first = reinterpret_cast<const char*>(taken);
    const std::string rest = Collect(port, 1, 1s);
    const std::string kept = first + rest;
    pty_.send("ID;");
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == 3; }));
    ASSERT_EQ(port.GetRcvData(taken, &lost), 1);
    EXPECT_EQ(lost, 0) << "reported once";

    EXPECT_EQ(first.size(), CSerport::kReceiveCapacity);
    EXPECT_LE(rest.size(), CSerport::kReceiveCapacity);
    ASSERT_LT(kept.size(), stream.size()) << "the oldest text must have been dropped";
    EXPECT_EQ(kept, stream.substr(stream.size() - kept.size()));
}

TEST_F(SerportTest, WaitRcvDataReturnsOnArrivalOnTimeOutAndOnClose)
{
    CSerport port;
    EXPECT_EQ(port.WaitRcvData(60'000), 0) << "a closed port has nothing to wait for";
    ASSERT_EQ(Open(port), 1);
    EXPECT_EQ(port.WaitRcvData(1), 0);

    BlockedWaiter arrival(port);
    pty_.send("TX;");
    EXPECT_EQ(arrival.result(), 1);
    EXPECT_EQ(Take(port), "TX;");

    BlockedWaiter closing(port);
    port.CloseComPort();
    EXPECT_EQ(closing.result(), 0);
}

TEST_F(SerportTest, WritesGoOutWhole)
{
    CSerport port;
    ASSERT_EQ(Open(port, 4000000), 1);
    EXPECT_EQ(port.Write(nullptr, 0), 1);
    EXPECT_EQ(Write(port, ""), 1);
    EXPECT_EQ(Write(port, "FA00007000000;"), 1);
    EXPECT_EQ(pty_.receive(14), "FA00007000000;");

    // Blocks larger than the terminal's queues, so each write goes out in pieces.
    constexpr std::size_t kWriters = 4;
    constexpr std::size_t kBlocks = 8;
    constexpr std::size_t kBlockSize = 16 * 1024;
    std::vector<std::future<int>> writers;
    for (std::size_t w = 0; w < kWriters; ++w) {
        writers.push_back(std::async(std::launch::async, [&, w] {
            int result = 1;
            for (std::size_t b = 0; b < kBlocks; ++b) {
                result &= Write(port, std::string(kBlockSize, static_cast<char>('A' + w * kBlocks + b)));
            }
            return result;
        }));
    }
    const std::string received = pty_.receive(kWriters * kBlocks * kBlockSize, 30s);
    for (auto& writer : writers) {
        EXPECT_EQ(writer.get(), 1);
    }
    ASSERT_EQ(received.size(), kWriters * kBlocks * kBlockSize);
    std::vector<char> seen;
    for (std::size_t at = 0; at < received.size(); at += kBlockSize) {
        const char block = received[at];
        EXPECT_EQ(received.substr(at, kBlockSize), std::string(kBlockSize, block)) << "block at " << at << " is torn";
        seen.push_back(block);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << "every block exactly once";

    port.CloseComPort();
    EXPECT_EQ(Write(port, "ID;"), 0);
    EXPECT_EQ(port.Write(nullptr, 0), 0);
}

TEST_F(SerportTest, TheLastWritesBeforeACloseStillReachTheOtherEnd)
{
    // The host's stop sequence writes its final commands and closes at once.
    CSerport port;
    ASSERT_EQ(Open(port), 1);
    EXPECT_EQ(Write(port, "KY ;AI0;"), 1);
    port.CloseComPort();
    EXPECT_EQ(pty_.receive(8), "KY ;AI0;");
}

TEST_F(SerportTest, AStuckLineEndsAWriteInsteadOfBlockingForever)
{
    // Nobody reads the other end: once the terminal's queues are full the line is stuck.
    const std::string big(256 * 1024, 'X');
    CSerport port;
    ASSERT_EQ(Open(port, 4000000), 1);
    EXPECT_EQ(Write(port, big), 0);

    // At 50 baud the time limit is far away; closing the port ends the wait instead.
    ASSERT_EQ(Open(port, 50), 1);
    while (!pty_.receiveFor(10ms).empty()) {
    }
    auto writer = std::async(std::launch::async, [&] { return Write(port, big); });
    ASSERT_TRUE(WaitUntil([&] {
        int queued = 0;
        return ::ioctl(pty_.controllerFd(), FIONREAD, &queued) == 0 && queued > 0;
    }));
    port.CloseComPort();
    ASSERT_EQ(writer.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(writer.get(), 0);
}

// Records what the port tells its receiver, and on which thread.
class RecordingReceiver final : public CSerportReceiver {
public:
    void OnSerportData(CSerport& port) noexcept override
    {
        std::lock_guard lock(mutex_);
        text_ += Take(port);
        threads_.push_back(std::this_thread::get_id());
    }
    void OnSerportLineLost(CSerport&) noexcept override
    {
        std::lock_guard lock(mutex_);
        ++losses_;
        threads_.push_back(std::this_thread::get_id());
    }
    std::string text() const
    {
        std::lock_guard lock(mutex_);
        return text_;
    }
    int losses() const
    {
        std::lock_guard lock(mutex_);
        return losses_;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
    int losses_ = 0;
    std::vector<std::thread::id> threads_;
};

// The other end hangs up, as a radio whose USB adapter is pulled: the port is lost,
// the receiver hears of it once, after the last text, and the reader sleeps.
TEST_F(SerportTest, AHangUpLosesTheLineOnceWithoutSpinning)
{
    RecordingReceiver receiver;
    CSerport port;
    port.ReceiverReg(&receiver);
    ASSERT_EQ(Open(port), 1);
    EXPECT_EQ(port.GetLineLost(), 0);
    pty_.send("RX;");
    ASSERT_TRUE(WaitUntil([&] { return receiver.text() == "RX;"; }));
    pty_.closeController();

    ASSERT_TRUE(WaitUntil([&] { return receiver.losses() == 1; }));
    EXPECT_EQ(port.GetLineLost(), 1);
    EXPECT_EQ(port.WaitRcvData(60'000), 0) << "a lost line has nothing to wait for";
    EXPECT_EQ(Write(port, "ID;"), 0);

    // The reader sleeps instead of looking at the dead line again and again: over a
    // third of a second a spinning reader would use some 30 ticks of processor time.
    const long ticksBefore = ReaderCpuTicks();
    ASSERT_GE(ticksBefore, 0);
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(ReaderCpuTicks() - ticksBefore, 2);
    EXPECT_EQ(receiver.losses(), 1);
    const auto threads = receiver.threads();
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), static_cast<long>(threads.size()))
        << "every call comes on the reader thread";
    EXPECT_NE(threads.front(), std::this_thread::get_id());

    // Nothing is drained to a lost line, so the close cannot hang on it.
    auto closed = std::async(std::launch::async, [&] { port.CloseComPort(); });
    ASSERT_EQ(closed.wait_for(10s), std::future_status::ready) << "the close waits on the lost line";
    EXPECT_TRUE(WaitUntil([&] { return ReaderThreads() == 0; }));
    EXPECT_TRUE(boxes().empty());

    // The device comes back (here: a new terminal under the same port number).
    testsupport::PtyPair again;
    platform::ApplicationProfile().WriteProfileString("COM Devices", "COM" + std::to_string(kPort), again.devicePath());
    ASSERT_EQ(Open(port), 1);
    EXPECT_EQ(port.GetLineLost(), 0);
    again.send("FA;");
    EXPECT_TRUE(WaitUntil([&] { return receiver.text() == "RX;FA;"; }));
    EXPECT_EQ(Write(port, "ID;"), 1);
    EXPECT_EQ(again.receive(3), "ID;");
    port.CloseComPort();
    EXPECT_EQ(receiver.losses(), 1);
}

TEST_F(SerportTest, ASpeedTheLineCannotTakeIsAFailedOpen)
{
    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    CSerport port;
    EXPECT_EQ(Open(port, 12345), 0);
    EXPECT_EQ(Open(port, 9600, 0, 9), 0) << "nine data bits";
    EXPECT_EQ(Write(port, "ID;"), 0) << "not opened";

    ASSERT_EQ(Open(port, 19200), 1);
    EXPECT_EQ(Open(port, 12345), 0) << "reconfiguring an open port to a speed it cannot take";
    const termios now = observer.settings();
    EXPECT_EQ(cfgetospeed(&now), speed_t{B19200}) << "the open port keeps its settings";
    EXPECT_EQ(Write(port, "ID;"), 1) << "and still works";
    EXPECT_EQ(pty_.receive(3), "ID;");
    port.CloseComPort();
    EXPECT_THAT(boxes(), ::testing::ElementsAre("Error opening COM port", "Error opening COM port",
                                                "Error opening COM port"));
}

TEST_F(SerportTest, ARegisteredWindowHearsOfEveryArrival)
{
    platform::MessageQueue window;
    CSerport port;
    port.WinMsgSendReg(&window);
    ASSERT_EQ(Open(port), 1);

    pty_.send("ID;");
    platform::LParam length = 0;
    while (length < 3) {
        const auto message = window.take(5s);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->message, WM_SERPORT_DATA);
        EXPECT_EQ(message->wParam, 1u);
        EXPECT_GT(message->lParam, length);
        length = message->lParam;
    }
    EXPECT_EQ(length, 3);
    EXPECT_EQ(Take(port), "ID;");

    port.WinMsgSendReg(nullptr);
    pty_.send("FA;");
    ASSERT_TRUE(WaitUntil([&] { return port.GetRcvDataLength() == 3; }));
    EXPECT_EQ(window.size(), 0u);
    port.CloseComPort();
}

TEST_F(SerportTest, DestroyingAnOpenPortClosesIt)
{
    DeviceObserver observer(pty_.devicePath());
    ASSERT_GE(observer.fd(), 0);
    const termios before = observer.settings();
        {
        CSerport port;
        ASSERT_EQ(Open(port, 1200, 4, 8, 2), 1);
    }
    EXPECT_TRUE(WaitUntil([&] { return ReaderThreads() == 0; }));
    ExpectSameSettings(observer.settings(), before);
    CSerport again;
    EXPECT_EQ(Open(again), 1);
}

} // namespace
