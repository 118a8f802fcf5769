// SPDX-License-Identifier: GPL-3.0-or-later
// COM port numbers (1..20) name serial devices. Key "COM<n>" of section
// "COM Devices" in the application profile gives the device path when present
// ("COM3=/dev/ttyUSB0"); otherwise COM n is /dev/ttyS<n-1>.
#pragma once

#include "platform/PlatformExport.h"

#include <string>

namespace platform {

inline constexpr unsigned kFirstComPort = 1;
inline constexpr unsigned kLastComPort = 20;

PLATFORM_EXPORT std::string ComPortDevicePath(unsigned portNumber);

} // namespace platform
