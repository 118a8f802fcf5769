// SPDX-License-Identifier: GPL-3.0-or-later
// The setup of the service-controller tests: a simulated radio on a pseudo-terminal,
// a settings profile that maps COM1 to it, a free TCP port and a ServiceHost that
// records what the controller asks of it (sleeps, pumps, timers, display changes).
#pragma once

#include "host/ServiceController.h"
#include "host/ServiceHost.h"
#include "linkcore/Linkcore.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WindowMessage.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/MessageBoxCapture.h"
#include "testsupport/TempDir.h"
#include "testsupport/Wait.h"
#include "radiosim/RadioSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace hosttest {

using namespace std::chrono_literals;

class RecordingHost final : public host::ServiceHost {
public:
    platform::MessageQueue queue;
    host::ServiceController* controller = nullptr;
    // Takes every message that is not the library's (the telephony events); none: dropped.
    std::function<void(const platform::Message&)> otherMessages;
    // Whether sleepFor really sleeps (a radio needs the time to answer).
    bool realSleep = true;

    std::vector<std::chrono::milliseconds> sleeps;
    int pumps = 0;
    std::map<unsigned, std::chrono::milliseconds> timers; // armed timers
    // Every display change as "<label>: <value>", in order.
    std::vector<std::string> changes;
    // The code of every notification handled, in order.
    std::vector<platform::WParam> notified;

    bool pumpMessages() override
    {
        ++pumps;
        return handleMessages(100);
    }
    void sleepFor(std::chrono::milliseconds duration) override
    {
        sleeps.push_back(duration);
        if (realSleep) {
            std::this_thread::sleep_for(duration);
        }
    }
    void setTimer(unsigned id, std::chrono::milliseconds delay) override { timers[id] = delay; }
    void killTimer(unsigned id) override { timers.erase(id); }
    void displayChanged(host::DisplayField field, const host::HostDisplay& display) override
    {
        changes.push_back(std::string(host::FieldLabel(field)) + ": " + host::FieldValueText(display, field));
    }

    bool watchdogArmed() const { return timers.count(host::kWatchdogTimer) == 1; }

    // The watchdog timer fires, as the window's timer would once its second has passed.
    void fireWatchdog()
    {
        ASSERT_TRUE(watchdogArmed());
        controller->onTimer(host::kWatchdogTimer);
    }

    // Hands waiting messages to the controller; true when more than `limit` waited.
    bool handleMessages(int limit = 1 << 30)
    {
        for (int handled = 0; handled < limit; ++handled) {
            const auto message = queue.take(0ms);
            if (!message) {
                return false;
            }
            if (message->message == WM_LINKCORE_NOTIFY) {
                notified.push_back(message->wParam);
                controller->onLinkcoreNotify(message->wParam, message->lParam);
            } else if (otherMessages) {
                otherMessages(*message);
            }
        }
        return queue.size() > 0;
    }

    // Runs the message loop until `condition` holds; false when it did not within `limit`.
    template <typename Condition>
    bool runUntil(Condition condition, std::chrono::milliseconds limit = 5s)
    {
        return testsupport::WaitUntil(
            [&] {
                handleMessages();
                return condition();
            },
            limit);
    }
};

using testsupport::MessageBoxCapture;

struct User {
    std::string id;
    std::string password;
    std::string description;
};

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetApplicationProfilePath(dir / "Ondrel.ini");
        std::filesystem::create_directory(logDir());
        tcpPort = testsupport::FreeTcpPort();
    }

    void TearDown() override
    {
        controller.reset();
        if (radio) {
            radio->stop();
        }
    }

    // Starts a simulated radio of `model` and maps COM1 to it.
    void startRadio(int model)
    {
        radiosim::Options options;
        options.model = model;
        radio = std::make_unique<radiosim::RadioSimulator>(options);
        ASSERT_TRUE(radio->start()) << radio->error();
        writeProfile(radio->devicePath());
    }

    // The settings of one radio on COM1 at `device`, the TCP port, the log and the users.
    void writeProfile(const std::string& device, int sessionMinutes = 0)
    {
        platform::Profile& profile = platform::ApplicationProfile();
        profile.WriteProfileString("COM Devices", "COM1", device);
        profile.WriteProfileInt("Setting", "COM Port", 1);
        profile.WriteProfileInt("Setting", "COM Baud", 9600);
        profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(tcpPort));
        profile.WriteProfileInt("Setting", "MIREL Session Time", sessionMinutes);
        profile.WriteProfileInt("Setting", "MIREL Log", 1);
        profile.WriteProfileString("File Path", "MIREL Log File Path", logDir().string());
        profile.WriteProfileString("Setting", "MIREL 000 User ID", users[0].id);
        profile.WriteProfileString("Setting", "MIREL 000 Password", users[0].password);
        profile.WriteProfileString("Setting", "MIREL 000 Description", users[0].description);
        profile.WriteProfileInt("Setting", "MIREL 000 User Disabled", 0);
    }

    void makeController(bool corvexEnabled = false)
    {
        controller = std::make_unique<host::ServiceController>(recorder, &recorder.queue, corvexEnabled, false);
        recorder.controller = controller.get();
    }

    // Everything the activity log holds so far.
    std::string logText() const
    {
        std::string all;
        for (const auto& entry : std::filesystem::directory_iterator(logDir())) {
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            all += text.str();
        }
        return all;
    }

    std::filesystem::path logDir() const { return dir / "log"; }

    // Starts the service on a model-20 radio and waits until the radio's first
    // answers (power, auto-information mode) have been handled.
    void startRunning(int model = 20, bool corvexEnabled = false)
    {
        startRadio(model);
        makeController(corvexEnabled);
        controller->start();
        ASSERT_TRUE(controller->state().serverOpen);
        ASSERT_TRUE(recorder.runUntil([&] { return controller->state().radioPowerOn && radio->autoInformation() == 2; }));
    }

    // Returns once the host has handled the notifications of everything the radio sent
    // so far, and the radio has taken every command the host sent until then. A mode
    // report from the radio marks the first; a mode request through the shared radio
    // link, answered after every earlier command, marks the second.
    void barrier()
    {
        constexpr platform::WParam kModeNotification = 0x1026;
        const auto count = [&] {
            return std::count(recorder.notified.begin(), recorder.notified.end(), kModeNotification);
        };
        auto before = count();
        radio->inject(radio->query("MD;"));
        ASSERT_TRUE(recorder.runUntil([&] { return count() > before; }));
        before = count();
        CLinkcore link;
        ASSERT_EQ(link.ConnDirect(reinterpret_cast<const unsigned char*>("MD;")), 1);
        ASSERT_TRUE(recorder.runUntil([&] { return count() > before; }));
    }

    // Connects a client and logs it in as user 0.
    std::unique_ptr<testsupport::LoopbackClient> logIn()
    {
        auto client = std::make_unique<testsupport::LoopbackClient>(tcpPort);
        EXPECT_TRUE(client->connected());
        EXPECT_NE(client->receiveUntil(">").find("Hello!!"), std::string::npos);
        client->send("UID:" + users[0].id + ";");
        EXPECT_NE(client->receiveUntil(">").find("UID:OK;"), std::string::npos);
        client->send("PWD:" + users[0].password + ";");
        EXPECT_NE(client->receiveUntil("@@UE1;").find("PWD:OK;>@@UE1;"), std::string::npos);
        EXPECT_TRUE(recorder.runUntil([&] { return controller->state().userLoggedOn; }));
        return client;
    }

    testsupport::TempDir dir;
    unsigned tcpPort = 0;
    std::vector<User> users{{"alice", "secret", "Alice at the club station"}};
    std::unique_ptr<radiosim::RadioSimulator> radio;
    RecordingHost recorder;
    std::unique_ptr<host::ServiceController> controller;
};

} // namespace hosttest
