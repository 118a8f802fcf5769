// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting into a string, as long as the text needs.
#pragma once

#include "platform/PlatformExport.h"

#include <string>

namespace platform {

PLATFORM_EXPORT std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
