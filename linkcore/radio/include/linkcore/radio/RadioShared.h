// SPDX-License-Identifier: GPL-3.0-or-later
// RadioShared: what the radio protocol layer works on. The reply parser writes the
// radio state and the pass-through flag; the change notifier posts to the window.
// The radio link, the session and the library's process-wide record build on it.
#pragma once

#include "linkcore/radio/RadioState.h"
#include "platform/WindowMessage.h"

#include <atomic>

namespace linkcore {

struct RadioShared {
    RadioState radioState;           // written by the radio reader (see RadioState.h)
    std::atomic<int> passThrough{0}; // the radio is in pass-through mode
    std::atomic<platform::WindowHandle> notifyWindow{nullptr};
};

} // namespace linkcore
