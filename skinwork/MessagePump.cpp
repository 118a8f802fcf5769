// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/MessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

namespace skinwork {
namespace {

// Messages handed out per DoEvents call and per wake-up of the event loop.
constexpr std::size_t kBatch = 100;

} // namespace

// The FIFO of one GUI thread's targets. Posters append under the mutex; the
// owner thread takes messages out one at a time and calls the handler without
// holding the lock, so a handler may post, pump or destroy targets.
// Posters wake the owner's event loop through an eventfd that a socket notifier of
// the owner thread watches: a poster never calls into Qt, so nothing of Qt's own
// (uninstrumented) locking stands between the threads.
class ThreadPump : public std::enable_shared_from_this<ThreadPump> {
public:
    ThreadPump() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (wakeFd_ < 0) {
            throw std::bad_alloc();
        }
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { onWake(); });
    }

    ~ThreadPump()
    {
        delete notifier_;
        ::close(wakeFd_);
    }

    ThreadPump(const ThreadPump&) = delete;
    ThreadPump& operator=(const ThreadPump&) = delete;

    static std::shared_ptr<ThreadPump> current(bool create)
    {
        thread_local std::weak_ptr<ThreadPump> slot;
        std::shared_ptr<ThreadPump> pump = slot.lock();
        if (!pump && create) {
            pump = std::make_shared<ThreadPump>();
            slot = pump;
        }
        return pump;
    }

    void enqueue(WindowMessageTarget* target, const platform::Message& message)
    {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(Entry{target, message});
            wake = !wakePosted_;
            wakePosted_ = true;
        }
        if (wake) {
            postWake();
        }
    }

    std::size_t pendingFor(const WindowMessageTarget* target) const
    {
        std::lock_guard lock(mutex_);
        std::size_t count = 0;
        for (const Entry& entry : queue_) {
            count += entry.target == target ? 1 : 0;
        }
        return count;
    }

    // Takes the target's messages out of the FIFO, in posting order.
    std::vector<platform::Message> takeFor(const WindowMessageTarget* target)
    {
        std::lock_guard lock(mutex_);
        std::vector<platform::Message> taken;
        for (const Entry& entry : queue_) {
            if (entry.target == target) {
                taken.push_back(entry.message);
            }
        }
        std::erase_if(queue_, [target](const Entry& entry) { return entry.target == target; });
        return taken;
    }

    bool empty() const
    {
        std::lock_guard lock(mutex_);
        return queue_.empty();
    }

    // Hands up to `limit` messages to their handlers; returns how many.
    std::size_t deliver(std::size_t limit)
    {
        std::size_t delivered = 0;
        while (delivered < limit) {
            Entry next;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty()) {
                    break;
                }
                next = queue_.front();
                queue_.pop_front();
            }
            ++delivered;
            const std::shared_ptr<const WindowMessageTarget::Handler> handler = next.target->handler_;
            if (*handler) {
                (*handler)(next.message);
            }
        }
        return delivered;
    }

    // The owner thread's event loop woke up for us. A handler may destroy the
    // thread's last window, and with it this pump: it stays alive until the
    // wake-up is done.
    void onWake()
    {
        const std::shared_ptr<ThreadPump> keepAlive = shared_from_this();
        std::uint64_t count = 0;
        while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
        {
            std::lock_guard lock(mutex_);
            wakePosted_ = false;
        }
        // Inside DoEvents' own turn of Qt event processing the messages wait:
        // DoEvents has just had its share, and the caller decides when to pump
        // again. A nested event loop (a modal dialog opened meanwhile) runs at a
        // deeper level and gets its messages.
        if (suppressedLevel_ >= 0 && QThread::currentThread()->loopLevel() == suppressedLevel_) {
            wakeDeferred_ = true;
            return;
        }
        deliver(kBatch);
        rewakeIfWaiting();
    }

    // Posts a wake-up when messages wait and none is on its way.
    void rewakeIfWaiting()
    {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            wake = !queue_.empty() && !wakePosted_;
            wakePosted_ = wakePosted_ || wake;
        }
        if (wake) {
            postWake();
        }
    }

    // DoEvents' turn of Qt event processing, with our wake-ups held back.
    void processQtEvents()
    {
        const int saved = suppressedLevel_;
        suppressedLevel_ = QThread::currentThread()->loopLevel();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        suppressedLevel_ = saved;
        if (wakeDeferred_ && saved < 0) {
            wakeDeferred_ = false;
            rewakeIfWaiting();
        }
    }

private:
    struct Entry {
        WindowMessageTarget* target = nullptr;
        platform::Message message;
    };

    void postWake()
    {
        const std::uint64_t one = 1;
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    mutable std::mutex mutex_;
    std::deque<Entry> queue_;
    bool wakePosted_ = false;
    // Owner thread only.
    int suppressedLevel_ = -1;
    bool wakeDeferred_ = false;
    const int wakeFd_;
    QSocketNotifier* notifier_ = nullptr;
};

WindowMessageTarget::WindowMessageTarget(Handler handler)
    : handler_(std::make_shared<const Handler>(std::move(handler)))
    , pump_(ThreadPump::current(true))
{
}

WindowMessageTarget::~WindowMessageTarget()
{
    pump_->takeFor(this);
}

void WindowMessageTarget::post(std::uint32_t message, platform::WParam wParam, platform::LParam lParam) noexcept
{
    try {
        pump_->enqueue(this, platform::Message{message, wParam, lParam});
    } catch (...) {
        // Out of memory: the message is lost, the poster carries on.
    }
}

std::size_t WindowMessageTarget::pending() const
{
    return pump_->pendingFor(this);
}

std::vector<platform::Message> WindowMessageTarget::takePending()
{
    return pump_->takeFor(this);
}

} // namespace skinwork

extern "C" int DoEvents(void)
{
    const std::shared_ptr<skinwork::ThreadPump> pump = skinwork::ThreadPump::current(false);
    if (!pump) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return 0;
    }
    pump->deliver(skinwork::kBatch);
    const bool more = !pump->empty();
    pump->processQtEvents();
    return more ? 1 : 0;
}
