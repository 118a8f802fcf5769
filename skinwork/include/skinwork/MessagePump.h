// SPDX-License-Identifier: GPL-3.0-or-later
// Posted window messages delivered on a GUI thread, and the bounded pump DoEvents.
//
// A WindowMessageTarget is the window handle of a GUI-thread window: any thread
// may post() to it without blocking; the message joins the FIFO of the thread
// that constructed the target (its owner). The first message posted into an
// empty FIFO wakes that thread's Qt event loop once; the wake-up then hands the
// waiting messages to their targets' handlers on the owner thread, at most 100
// at a time before Qt gets its turn again.
//
// DoEvents() pumps the calling thread: it hands at most 100 waiting messages of
// the targets that thread owns to their handlers (in posting order), then lets Qt
// process its pending events (input, paint, timers, posted events) without
// waiting. It returns non-zero when it stopped at 100 with more messages waiting,
// 0 when the FIFO ran empty. While DoEvents lets Qt run, the wake-up leaves the
// FIFO to the caller's next DoEvents (or to the event loop afterwards); a modal
// loop opened meanwhile still gets its messages. A thread that waits for a
// notification calls DoEvents in its waiting loop; nothing polls otherwise.
// A handler may post, pump, and destroy windows, its own included.
//
// A target must be constructed and destroyed on its owner thread; messages still
// waiting for it are dropped when it is destroyed. Posting to a destroyed target
// is the poster's error, so unregister a window from the libraries first.
#pragma once

#include "platform/WindowMessage.h"
#include "skinwork/SkinworkExport.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace skinwork {

class ThreadPump;

class SKINWORK_EXPORT WindowMessageTarget final : public platform::MessageTarget {
public:
    using Handler = std::function<void(const platform::Message&)>;

    explicit WindowMessageTarget(Handler handler);
    ~WindowMessageTarget() override;
    WindowMessageTarget(const WindowMessageTarget&) = delete;
    WindowMessageTarget& operator=(const WindowMessageTarget&) = delete;

    // Thread-safe and non-blocking.
    void post(std::uint32_t message, platform::WParam wParam, platform::LParam lParam) noexcept override;

    // Messages waiting for this target.
    std::size_t pending() const;
    // Takes the messages waiting for this target without handling them, for an
    // owner that must release what they carry before the target goes.
    std::vector<platform::Message> takePending();

private:
    friend class ThreadPump;
    // Shared so that a handler that destroys its own window runs to its end.
    std::shared_ptr<const Handler> handler_;
    std::shared_ptr<ThreadPump> pump_;
};

} // namespace skinwork

extern "C" {
SKINWORK_EXPORT int DoEvents(void);
}
