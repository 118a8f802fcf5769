// CLinkcore: the radio link and the network session server. Every instance works
// on the one process-wide LinkcoreShared record, so all instances see the same
// radio link, radio state and session.
#pragma once

#include "platform/WindowMessage.h"

class CLinkcore {
public:
    CLinkcore();
    virtual ~CLinkcore();

    // ---- Library object, radio connection, parser, notifications ----

    // ---- Session server ----

    // ---- Status readers ----

    // ---- Command builders ----
};
