// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientHostFixture.h"

#include "testsupport/LoopbackClient.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace clienttest {

void ClientHostFixture::startRadioAndHost(const std::function<void(platform::Profile&)>& settings)
{
    tcpPort = testsupport::FreeTcpPort();
    radiosim::Options options;
    options.model = 20;
    radio = std::make_unique<radiosim::RadioSimulator>(options);
    ASSERT_TRUE(radio->start()) << radio->error();
    platform::Profile profile(dir / "Ondrel.ini");
    profile.WriteProfileString("COM Devices", "COM1", radio->devicePath());
    profile.WriteProfileInt("Setting", "COM Port", 1);
    profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(tcpPort));
    profile.WriteProfileString("Setting", "MIREL 000 User ID", kUser);
    profile.WriteProfileString("Setting", "MIREL 000 Password", kPassword);
    settings(profile);
    startHost();
}

void ClientHostFixture::startHost()
{
    host = std::make_unique<ClientProcess>(
        std::vector<std::string>{ONDREL_PROGRAM, "--headless"},
        std::vector<std::string>{"ONDREL_PROFILE=" + (dir / "Ondrel.ini").string(),
                                 "XDG_RUNTIME_DIR=" + (dir / "runtime").string()});
    ASSERT_TRUE(host->waitForOutput("Power: on")) << host->output() << host->errors();
}

void ClientHostFixture::stopHost()
{
    host->signal(SIGTERM);
    ASSERT_EQ(host->waitForExit(), 0) << host->errors();
    host.reset();
}

std::vector<std::string> ClientHostFixture::clientCommand(std::vector<std::string> arguments) const
{
    arguments.insert(arguments.begin(), {CLIENT_PROGRAM, "127.0.0.1", "-p", std::to_string(tcpPort)});
    return arguments;
}

std::string ClientHostFixture::logText() const
{
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "log")) {
        std::ifstream file(entry.path());
        all.append(std::istreambuf_iterator<char>(file), {});
    }
    return all;
}

} // namespace clienttest
