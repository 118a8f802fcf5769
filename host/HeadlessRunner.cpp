// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/HeadlessRunner.h"

#include "host/ServiceController.h"
#include "host/SignalWatcher.h"
#include "host/voice/VoiceCalls.h"
#include "linkcore/Linkcore.h"
#include "platform/Clock.h"
#include "platform/Profile.h"

#include <algorithm>
#include <thread>

namespace host {
namespace {

// How many messages one pump handles at most before it returns.
constexpr int kPumpLimit = 100;
// Without timers the loop sleeps until a message comes; this only bounds one wait.
constexpr std::chrono::milliseconds kLongestWait{24 * 60 * 60 * 1000};

} // namespace

HeadlessLoop::HeadlessLoop(std::FILE* out) : out_(out) {}

void HeadlessLoop::dispatch(const platform::Message& message)
{
    if (message.message == kQuitMessage) {
        quit_ = true;
    } else if (message.message == WM_LINKCORE_NOTIFY && controller_ != nullptr) {
        controller_->onLinkcoreNotify(message.wParam, message.lParam);
    } else if (message.message == voice::WM_TAPI_EVENT) {
        if (voice_ != nullptr) {
            voice_->onTapiEvent(message.wParam, message.lParam);
        } else {
            voice::AdoptTapiEvent(message.lParam);
        }
    }
}

bool HeadlessLoop::pumpMessages()
{
    for (int handled = 0; handled < kPumpLimit; ++handled) {
        const auto message = queue_.take(std::chrono::milliseconds(0));
        if (!message) {
            return false;
        }
        dispatch(*message);
    }
    return queue_.size() > 0;
}

void HeadlessLoop::sleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

void HeadlessLoop::setTimer(unsigned id, std::chrono::milliseconds delay)
{
    timers_[id] = std::chrono::steady_clock::now() + delay;
}

void HeadlessLoop::killTimer(unsigned id) { timers_.erase(id); }

void HeadlessLoop::displayChanged(DisplayField field, const HostDisplay& display)
{
    if (std::find(kStatusFields.begin(), kStatusFields.end(), field) == kStatusFields.end()) {
        return;
    }
    std::string line(FieldLabel(field));
    line += ':';
    const std::string value = FieldValueText(display, field);
    if (!value.empty()) {
        line += ' ';
        line += value;
    }
    printLine(line);
}

void HeadlessLoop::printLine(const std::string& text)
{
    const platform::LocalTime now = platform::LocalNow();
    std::fprintf(out_, "%04d-%02d-%02d %02d:%02d:%02d %s\n", now.year, now.month, now.day, now.hour, now.minute,
                 now.second, text.c_str());
    std::fflush(out_);
}

void HeadlessLoop::fireDueTimers()
{
    // A fired timer may arm or kill timers, so look again after each one.
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto due = std::find_if(timers_.begin(), timers_.end(), [now](const auto& timer) {
            return timer.second <= now;
        });
        if (due == timers_.end()) {
            return;
        }
        const unsigned id = due->first;
        timers_.erase(due);
        if (controller_ != nullptr) {
            controller_->onTimer(id);
        }
    }
}

int HeadlessLoop::run()
{
    for (;;) {
        if (quit_) {
            controller_->stop();
            return kExitStopped;
        }
        if (!controller_->state().serviceRunning) {
            const StopCause cause = controller_->lastStop();
            return cause == StopCause::Watchdog || cause == StopCause::RadioLost ? kExitWatchdog : kExitStopped;
        }
        auto wait = kLongestWait;
        const auto now = std::chrono::steady_clock::now();
        for (const auto& timer : timers_) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(timer.second - now);
            wait = std::clamp(left, std::chrono::milliseconds(0), wait);
        }
        if (const auto message = queue_.take(wait)) {
            dispatch(*message);
        }
        fireDueTimers();
    }
}

int RunHeadless(const HostOptions& options)
{
    HeadlessLoop loop(stdout);
    // Telephony events posted but never taken are released with the loop's queue,
    // after the controller (declared below) has stopped the plug-in's thread.
    struct ReleaseLeftEvents {
        HeadlessLoop& loop;
        ~ReleaseLeftEvents() { voice::ReleaseTapiEvents(loop.queue().drain()); }
    } const releaseLeft{loop};
    const SignalWatcher signals(&loop.queue(), kQuitMessage);
    ServiceController controller(loop, &loop.queue(), options.corvexEnabled, options.loadMessageEnabled);
    loop.attach(controller);
    // The same voice-call handling as the window's; its notices become lines.
    std::unique_ptr<voice::VoiceCalls> calls = voice::MakeVoiceCalls(
        &loop.queue(), [] { return kHeadlessVoiceEnableOS; }, voice::VoxlineLibraryFile(),
        [&loop](std::string_view text) { loop.printLine(std::string(text)); });
    loop.attachVoice(calls.get());
    controller.setVoiceHook(std::move(calls));

    loop.printLine(WindowTitle(options) + ": profile " + platform::ApplicationProfile().path().string());
    controller.start();
    if (!controller.state().serviceRunning) {
        if (controller.startFailure().empty()) {
            std::fprintf(stderr, "ondrel: \"MIREL IP Port No\" of section \"Setting\" is outside 1024..65535\n");
        } else {
            std::fprintf(stderr, "%s\n", controller.startFailure().c_str());
        }
        return kExitStartRefused;
    }
    return loop.run();
}

} // namespace host
