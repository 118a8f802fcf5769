// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ComPorts.h"

#include "platform/Profile.h"

namespace platform {

std::string ComPortDevicePath(unsigned portNumber)
{
    if (portNumber < kFirstComPort) {
        return {};
    }
    const std::string key = "COM" + std::to_string(portNumber);
    std::string configured = ApplicationProfile().GetProfileString("COM Devices", key, "");
    if (!configured.empty()) {
        return configured;
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

} // namespace platform
