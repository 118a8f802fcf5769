// SPDX-License-Identifier: GPL-3.0-or-later
// The copyright and licence lines that every program of the project prints after its
// name and version for --version, as GNU programs do. Header-only, so that the remote
// client, which links none of the host's libraries, prints the same words.
#pragma once

namespace platform {

inline constexpr const char* kVersionNotice =
    "Copyright (C) 2026 The Ondrel developers\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace platform
