// SPDX-License-Identifier: GPL-3.0-or-later
// GuiHost: the ServiceHost of the window. Library notifications posted from any thread
// land in its message target (Skinwork's WindowMessageTarget), which wakes the Qt event
// loop; the GUI thread hands them to the controller. Its timers are one-shot Qt timers;
// sleeping blocks the GUI thread as the service's short waits for the radio expect;
// pumping is DoEvents: at most 100 waiting notifications, then Qt's pending events.
// GUI thread only (the target accepts posts from any thread).
#pragma once

#include "host/ServiceHost.h"
#include "platform/WindowMessage.h"
#include "skinwork/MessagePump.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace host {
class ServiceController;
}

namespace host::gui {

// Posted to the window's target to close the window (SIGINT, SIGTERM).
inline constexpr std::uint32_t kCloseMessage = 0x0010;

class GuiHost final : public ServiceHost {
public:
    using DisplayHandler = std::function<void(DisplayField, const HostDisplay&)>;

    explicit GuiHost(DisplayHandler onDisplay);
    ~GuiHost() override;

    void attach(ServiceController* controller) { controller_ = controller; }
    skinwork::WindowMessageTarget& target() { return target_; }
    // Called for messages that are not library notifications (kCloseMessage, ...).
    void setOtherMessages(skinwork::WindowMessageTarget::Handler handler) { otherMessages_ = std::move(handler); }

    bool pumpMessages() override;
    void sleepFor(std::chrono::milliseconds duration) override;
    void setTimer(unsigned id, std::chrono::milliseconds delay) override;
    void killTimer(unsigned id) override;
    void displayChanged(DisplayField field, const HostDisplay& display) override;

    // Timers that only fireTimer expires: tests run the watchdog's seconds through
    // them, so that no second passes by itself. Set before the first timer is armed.
    void setManualTimers(bool manual) { manualTimers_ = manual; }
    // The delay of armed timer `id`, if armed.
    std::optional<std::chrono::milliseconds> timerDelay(unsigned id) const;
    // Expires armed timer `id` now, as its time running out would; false when it is
    // not armed. Tests run the watchdog's seconds through it.
    bool fireTimer(unsigned id);

private:
    void dispatch(const platform::Message& message);
    void expire(unsigned id);

    DisplayHandler onDisplay_;
    skinwork::WindowMessageTarget::Handler otherMessages_;
    skinwork::WindowMessageTarget target_;
    ServiceController* controller_ = nullptr;
    std::map<unsigned, std::unique_ptr<QTimer>> timers_;
    bool manualTimers_ = false;
    std::map<unsigned, std::chrono::milliseconds> manualArmed_;
};

} // namespace host::gui
