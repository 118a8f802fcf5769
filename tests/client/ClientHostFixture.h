// SPDX-License-Identifier: GPL-3.0-or-later
// The host (`ondrel --headless`) on the simulated radio (model 20), with a profile of
// its own in a temporary folder, for the tests that run ondrel-client against it as
// separate processes on loopback.
#pragma once

#include "platform/Profile.h"
#include "ClientProcess.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace clienttest {

class ClientHostFixture : public ::testing::Test {
protected:
    static constexpr const char* kUser = "demo";
    static constexpr const char* kPassword = "Tr0po-Duct";

    // Starts the radio, writes the profile (COM1 on the radio, the TCP port, kUser with
    // kPassword, then what `settings` adds) and starts the host.
    void startRadioAndHost(const std::function<void(platform::Profile&)>& settings);
    // Starts the host on the profile; it must report the radio's power.
    void startHost();
    // Ends the host with SIGTERM; it must end with status 0.
    void stopHost();
    // ondrel-client's command for the host's port on 127.0.0.1, followed by `arguments`.
    std::vector<std::string> clientCommand(std::vector<std::string> arguments) const;
    // The activity log: every file of the folder "log", one after another.
    std::string logText() const;

    testsupport::TempDir dir;
    unsigned tcpPort = 0;
    std::unique_ptr<radiosim::RadioSimulator> radio;
    std::unique_ptr<ClientProcess> host;
};

} // namespace clienttest
