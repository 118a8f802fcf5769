// LinkcoreShared: the one process-wide record behind every CLinkcore instance.
#pragma once

struct LinkcoreShared {
    // ---- Radio link ----

    // ---- Session server ----
};
