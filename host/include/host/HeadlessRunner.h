// SPDX-License-Identifier: GPL-3.0-or-later
// The host without a window: a message loop on the program's main thread that drives
// the service controller, prints one timestamped line for each change of what the
// window would show, and ends on SIGINT or SIGTERM (stop sequence, status 0), on a
// refused start or when the watchdog has stopped the service.
#pragma once

#include "host/HostOptions.h"
#include "host/ServiceHost.h"
#include "platform/WindowMessage.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>

namespace host {

class ServiceController;
namespace voice {
class VoiceCalls;
}

// Posted to the loop's queue to end the program (wParam: the signal number).
inline constexpr std::uint32_t kQuitMessage = 0x0012;

// Exit statuses of `ondrel --headless`.
inline constexpr int kExitStopped = 0;        // stopped by SIGINT or SIGTERM
inline constexpr int kExitStartRefused = 1;   // the start sequence refused (text on stderr)
inline constexpr int kExitWatchdog = 2;       // the radio fell silent (the watchdog) or was lost: the service stopped
inline constexpr int kExitAlreadyRunning = 3; // another copy runs for this user (nothing printed)
inline constexpr int kExitNoWindow = 4;       // the window module could not be loaded (text on stderr)
inline constexpr int kExitNoInstanceLock = 5; // the instance lock file could not be made

// The message loop: a queue-backed message target, one-shot timers on the steady
// clock and status lines on `out`. Used on one thread only (the queue accepts posts
// from any thread).
class HeadlessLoop final : public ServiceHost {
public:
    explicit HeadlessLoop(std::FILE* out);

    platform::MessageQueue& queue() { return queue_; }
    void attach(ServiceController& controller) { controller_ = &controller; }
    // The voice-call handler that takes the telephony events; none: they are dropped.
    void attachVoice(voice::VoiceCalls* voice) { voice_ = voice; }
    // Runs until a quit message (then the stop sequence: kExitStopped) or until the
    // service has stopped by itself (kExitWatchdog).
    int run();

    bool pumpMessages() override;
    void sleepFor(std::chrono::milliseconds duration) override;
    void setTimer(unsigned id, std::chrono::milliseconds delay) override;
    void killTimer(unsigned id) override;
    void displayChanged(DisplayField field, const HostDisplay& display) override;

    // Prints "<date> <time> <text>" as one line and flushes it.
    void printLine(const std::string& text);

private:
    void dispatch(const platform::Message& message);
    void fireDueTimers();

    std::FILE* out_;
    platform::MessageQueue queue_;
    ServiceController* controller_ = nullptr;
    voice::VoiceCalls* voice_ = nullptr;
    std::map<unsigned, std::chrono::steady_clock::time_point> timers_;
    bool quit_ = false;
};

// Whether the headless host may try voice: it has no control library to ask, so it
// leaves the decision to the plug-in, which makes no object where no engine is.
inline constexpr int kHeadlessVoiceEnableOS = 1;

// The headless program, once main.cpp holds the single-instance lock, has blocked the
// termination signals and chosen the profile: the signal watcher, the start sequence
// and the loop. Returns the exit status.
int RunHeadless(const HostOptions& options);

} // namespace host
