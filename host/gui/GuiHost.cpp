#include "host/gui/GuiHost.h"

#include "host/ServiceController.h"
#include "linkcore/Linkcore.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <thread>

namespace host::gui {
namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
// How many messages one pump handles at most.
constexpr int kPumpLimit = 100;

} // namespace

GuiMessageTarget::GuiMessageTarget(Handler handler) : handler_(std::move(handler)) {}

void GuiMessageTarget::post(std::uint32_t message, platform::WParam wParam, platform::LParam lParam) noexcept
{
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
        wake = !wakePosted_;
        wakePosted_ = true;
    }
    // One wake-up event stands for any number of queued messages.
    if (wake) {
        QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
    }
}

bool GuiMessageTarget::pump(int limit)
{
    for (int handled = 0; handled < limit; ++handled) {
        platform::Message message;
        {
            std::lock_guard lock(mutex_);
            if (messages_.empty()) {
                return false;
            }
            message = messages_.front();
            messages_.pop_front();
        }
        handler_(message);
    }
    return waiting() > 0;
}

std::size_t GuiMessageTarget::waiting() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}

std::vector<platform::Message> GuiMessageTarget::drain()
{
    std::lock_guard lock(mutex_);
    std::vector<platform::Message> all(messages_.begin(), messages_.end());
    messages_.clear();
    return all;
}

bool GuiMessageTarget::event(QEvent* event)
{
    if (event->type() != kWakeEvent) {
        return QObject::event(event);
    }
    {
        std::lock_guard lock(mutex_);
        wakePosted_ = false;
    }
    // A bounded batch keeps the event loop responsive; the rest comes with a new wake-up.
    if (pump(kPumpLimit)) {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            wake = !wakePosted_;
            wakePosted_ = true;
        }
        if (wake) {
            QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
        }
    }
    return true;
}

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

bool GuiHost::pumpMessages()
{
    const bool more = target_.pump(kPumpLimit);
    // Paint what changed meanwhile; input stays queued (the window is in its wait state).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return more;
}

void GuiHost::sleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

void GuiHost::setTimer(unsigned id, std::chrono::milliseconds delay)
{
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
    if (const auto found = timers_.find(id); found != timers_.end()) {
        found->second->stop();
    }
}

std::optional<std::chrono::milliseconds> GuiHost::timerDelay(unsigned id) const
{
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
    timers_.at(id)->stop();
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
