// SPDX-License-Identifier: GPL-3.0-or-later
// ServiceHost: what the service controller needs from the program that runs it, a
// desktop window or the headless runner: its message pump, sleeping, the one-shot
// window timers and the display. All calls come on the controller's thread.
#pragma once

#include "host/HostDisplay.h"

#include <chrono>

namespace host {

class ServiceHost {
public:
    virtual ~ServiceHost() = default;

    // Handles the messages now waiting for the host (at most 100) by passing them to
    // the controller, which is re-entered; true when more were left waiting.
    virtual bool pumpMessages() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    // Arms timer `id` to fire once after `delay` (replacing an armed one of the same
    // id); firing calls the controller's onTimer(id). killTimer disarms it.
    virtual void setTimer(unsigned id, std::chrono::milliseconds delay) = 0;
    virtual void killTimer(unsigned id) = 0;
    // One field of the display has a new value.
    virtual void displayChanged(DisplayField field, const HostDisplay& display) = 0;
};

} // namespace host
