// GuiHost: the ServiceHost of the window. Library notifications posted from any thread
// land in its message target, which wakes the Qt event loop; the GUI thread hands them
// to the controller. Its timers are one-shot Qt timers; sleeping blocks the GUI thread
// as the service's short waits for the radio expect; pumping handles waiting
// notifications (at most 100) and lets Qt paint. GUI thread only, except post().
#pragma once

#include "host/ServiceHost.h"
#include "platform/WindowMessage.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QTimer;

namespace host {
class ServiceController;
}

namespace host::gui {

// Posted to the window's target to close the window (SIGINT, SIGTERM).
inline constexpr std::uint32_t kCloseMessage = 0x0010;

// A message target owned by the GUI thread: post() queues and wakes the event loop,
// pump() hands waiting messages to the handler on the GUI thread.
class GuiMessageTarget final : public QObject, public platform::MessageTarget {
    Q_OBJECT
public:
    using Handler = std::function<void(const platform::Message&)>;

    explicit GuiMessageTarget(Handler handler);
    void post(std::uint32_t message, platform::WParam wParam, platform::LParam lParam) noexcept override;
    // Handles up to `limit` waiting messages; true when more were left waiting.
    bool pump(int limit);
    std::size_t waiting() const;
    // Takes every waiting message without handling it: for the window's tear-down.
    std::vector<platform::Message> drain();

protected:
    bool event(QEvent* event) override;

private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::deque<platform::Message> messages_;
    bool wakePosted_ = false; // guarded by mutex_
};

class GuiHost final : public ServiceHost {
public:
    using DisplayHandler = std::function<void(DisplayField, const HostDisplay&)>;

    explicit GuiHost(DisplayHandler onDisplay);
    ~GuiHost() override;

    void attach(ServiceController* controller) { controller_ = controller; }
    GuiMessageTarget& target() { return target_; }
    // Called for messages that are not library notifications (kCloseMessage, ...).
    void setOtherMessages(GuiMessageTarget::Handler handler) { otherMessages_ = std::move(handler); }

    bool pumpMessages() override;
    void sleepFor(std::chrono::milliseconds duration) override;
    void setTimer(unsigned id, std::chrono::milliseconds delay) override;
    void killTimer(unsigned id) override;
    void displayChanged(DisplayField field, const HostDisplay& display) override;

    // The delay of armed timer `id`, if armed.
    std::optional<std::chrono::milliseconds> timerDelay(unsigned id) const;
    // Expires armed timer `id` now, as its time running out would; false when it is
    // not armed. Tests run the watchdog's seconds through it.
    bool fireTimer(unsigned id);

private:
    void dispatch(const platform::Message& message);
    void expire(unsigned id);

    DisplayHandler onDisplay_;
    GuiMessageTarget::Handler otherMessages_;
    GuiMessageTarget target_;
    ServiceController* controller_ = nullptr;
    std::map<unsigned, std::unique_ptr<QTimer>> timers_;
};

} // namespace host::gui
