// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated transceiver on a serial line. The object owns one I/O thread that
// reads commands from its device, answers them through a Transceiver and applies
// the configured timing and faults; stop() or the destructor joins it. Every
// public method may be called from any thread.
#pragma once

#include "radiosim/Transceiver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <termios.h>

namespace radiosim {

enum class Direction { Received, Sent };

struct Options {
    int model = 20;
    // Line speed in baud; both directions then take 10 bit times per character. 0: no pacing.
    unsigned baud = 0;
    // Processing time before the answer to each command.
    std::chrono::milliseconds replyDelay{0};
    // Pause between the pieces of a split reply, so that they arrive separately.
    std::chrono::milliseconds pieceGap{2};
    // Called on the I/O thread with every command received and every text sent.
    std::function<void(Direction, std::string_view)> trace;
    // Called on the I/O thread when it ends on its own: the close fault, a hang-up
    // or an error on the device (not after stop()).
    std::function<void()> onClosed;
};

class RadioSimulator {
public:
    explicit RadioSimulator(Options options = {});
    ~RadioSimulator();
    RadioSimulator(const RadioSimulator&) = delete;
    RadioSimulator& operator=(const RadioSimulator&) = delete;

    // Opens a pseudo-terminal and serves its controller end; devicePath() names
    // the device end that the host opens. False (see error()) when it fails.
    bool start();
    // Serves an existing device (a serial port, one end of a socat pair).
    bool startOnDevice(const std::string& path);
    // Serves an open descriptor (a socket or pipe end); takes ownership of it.
    bool startOnDescriptor(int fd);
    // Stops the I/O thread and closes the device; idempotent.
    void stop();

    const std::string& devicePath() const { return devicePath_; }
    const std::string& error() const { return error_; }
    // True from a successful start until stop() or until the thread ended on its own.
    bool running() const { return running_.load(); }
    bool waitUntilClosed(std::chrono::milliseconds limit);

    // Commands received, in order, each with its ";" and without leading line
    // breaks ("FA;", ";" for an empty command). The exit from pass-through mode
    // counts as the command "TC 1;"; other pass-through text is in passThroughText().
    // Kept since the last clear (the most recent 65536); waitForCommand looks among them.
    std::vector<std::string> receivedCommands() const;
    std::size_t commandCount() const;
    bool waitForCommand(std::string_view command, std::chrono::milliseconds limit);
    bool waitForCommandCount(std::size_t count, std::chrono::milliseconds limit);
    void clearReceivedCommands();
    std::string passThroughText() const;

    // Sends `text` unsolicited, exactly as given (no faults but pacing apply).
    void inject(std::string_view text);
    // A front-panel change ("FA00007000000;", "SM00015;"): changes the state and,
    // in auto-information mode 2, reports it like a command from the line would.
    bool operate(std::string_view command);
    // The radio's answer to a read request ("FA;", "AG0;", "IF;"), from its state.
    std::string query(std::string_view command) const;

    int model() const;
    bool poweredOn() const;
    bool transmitting() const;
    bool passThrough() const;
    int autoInformation() const;

    // Faults, switchable while running.
    void setSilent(bool silent);                       // no answers, reports or echo; still listens
    void setSplitPoints(std::vector<std::size_t> cuts); // write replies in pieces at these offsets
    void setRandomSplit(bool random);                  // or at random offsets
    void setNoise(std::string bytes);                  // written before every reply
    void setRandomNoise(bool random);                  // or 1 to 8 random bytes other than ";"
    // Close the device after `count` more commands (0: never), once their answers
    // have been read or a second has passed.
    void closeAfterCommands(std::size_t count);

private:
    struct Outgoing {
        std::string text;
        bool reply; // an answer or report: faults apply; injected text goes out as given
    };

    bool launch(int fd);
    void run();
    bool serveInput(std::string& input, std::chrono::steady_clock::time_point& inputDone, bool& closeFault);
    bool sendEvents(std::vector<Event>& events, bool& closeNow);
    bool sendReply(std::string_view text);
    bool flushOutgoing();
    bool writePaced(std::string_view bytes);
    bool writeSome(std::string_view bytes);
    bool pauseUntil(std::chrono::steady_clock::time_point deadline);
    bool waitWritable();
    void drainOutput();
    void closeDevice();
    bool record(std::string_view command);
    void wake();

    Options options_;
    std::chrono::nanoseconds charTime_{0};

    int fd_ = -1;            // served by the I/O thread
    int deviceKeepOpen_ = -1; // own pty: the device end, held so the line never hangs up
    int wake_ = -1;          // eventfd: stop, injected text or a front-panel report; lives as long as the object
    bool restoreTermios_ = false;
    termios savedTermios_{};
    std::string devicePath_;
    std::string error_;

    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> silent_{false};
    std::atomic<bool> randomSplit_{false};
    std::atomic<bool> randomNoise_{false};

    mutable std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    Transceiver transceiver_;
    std::deque<Outgoing> outgoing_;
    std::vector<std::string> received_; // the most recent commands
    std::size_t commandCount_ = 0;      // all commands since the last clear
    std::string passThroughText_;
    std::vector<std::size_t> splitPoints_;
    std::string noise_;
    std::size_t closeAfter_ = 0;
    bool closed_ = false;

    // I/O thread only.
    std::chrono::steady_clock::time_point outputFree_{};
    std::minstd_rand random_;
};

} // namespace radiosim
