// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/gui/GuiHost.h"

#include "host/ServiceController.h"
#include "linkcore/Linkcore.h"

#include <QTimer>

#include <thread>

namespace host::gui {

GuiHost::GuiHost(DisplayHandler onDisplay)
    : onDisplay_(std::move(onDisplay)), target_([this](const platform::Message& message) { dispatch(message); })
{
}

GuiHost::~GuiHost() = default;

void GuiHost::dispatch(const platform::Message& message)
{
    if (message.message == WM_LINKCORE_NOTIFY) {
        if (controller_ != nullptr) {
            controller_->onLinkcoreNotify(message.wParam, message.lParam);
        }
    } else if (otherMessages_) {
        otherMessages_(message);
    }
}

bool GuiHost::pumpMessages() { return DoEvents() != 0; }

void GuiHost::sleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

void GuiHost::setTimer(unsigned id, std::chrono::milliseconds delay)
{
    if (manualTimers_) {
        manualArmed_[id] = delay;
        return;
    }
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { expire(id); });
    }
    timer->start(delay);
}

void GuiHost::killTimer(unsigned id)
{
    manualArmed_.erase(id);
    if (const auto found = timers_.find(id); found != timers_.end()) {
        found->second->stop();
    }
}

std::optional<std::chrono::milliseconds> GuiHost::timerDelay(unsigned id) const
{
    if (const auto armed = manualArmed_.find(id); armed != manualArmed_.end()) {
        return armed->second;
    }
    const auto found = timers_.find(id);
    if (found == timers_.end() || !found->second->isActive()) {
        return std::nullopt;
    }
    return found->second->intervalAsDuration();
}

bool GuiHost::fireTimer(unsigned id)
{
    if (!timerDelay(id)) {
        return false;
    }
    killTimer(id);
    expire(id);
    return true;
}

void GuiHost::expire(unsigned id)
{
    if (controller_ != nullptr) {
        controller_->onTimer(id);
    }
}

void GuiHost::displayChanged(DisplayField field, const HostDisplay& display)
{
    if (onDisplay_) {
        onDisplay_(field, display);
    }
}

} // namespace host::gui
