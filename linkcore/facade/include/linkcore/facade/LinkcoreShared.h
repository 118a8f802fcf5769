// SPDX-License-Identifier: GPL-3.0-or-later
// LinkcoreShared: the one process-wide record behind every CLinkcore instance. It
// lives from library load to unload (LinkcoreShared::instance()). It is the session
// server's record, which holds the radio link's, which holds the radio protocol's:
// each layer of the library works on its own part, and CLinkcore on the whole.
#pragma once

#include "linkcore/Linkcore.h"
#include "linkcore/session/SessionShared.h"

struct LinkcoreShared : linkcore::SessionShared {
    // The record every CLinkcore instance works on.
    static LinkcoreShared& instance();
};
