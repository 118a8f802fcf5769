// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"

#include "linkcore/facade/LinkcoreShared.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "testsupport/Wait.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/socket.h>

namespace sessiontest {

// ---- ServiceSettings ----

void ServiceSettings::setUpService(const std::filesystem::path& folder)
{
    logFolder_ = folder / "logs";
    std::filesystem::create_directory(logFolder_);
    clock_.emplace();
    writeInt("Setting", "MIREL Log", 1);
    writeString("File Path", "MIREL Log File Path", logFolder_.string());
    addUser(0, kUser, kPassword, "Alice at home");
    addUser(1, kDisabledUser, kDisabledPassword, "Bob, away", 1);
}

void ServiceSettings::tearDownService()
{
    clock_.reset();
}

void ServiceSettings::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileString(section, key, value), 1);
}

void ServiceSettings::writeInt(std::string_view section, std::string_view key, int value)
{
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileInt(section, key, value), 1);
}

void ServiceSettings::addUser(int slot, std::string_view id, std::string_view password,
                             std::string_view description, int disabled)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "MIREL %03d ", slot);
    writeString("Setting", std::string(prefix) + "User ID", id);
    writeString("Setting", std::string(prefix) + "Password", password);
    writeString("Setting", std::string(prefix) + "Description", description);
    writeInt("Setting", std::string(prefix) + "User Disabled", disabled);
}

std::string ServiceSettings::storedPassword(int slot) const
{
    char key[32];
    std::snprintf(key, sizeof key, "MIREL %03d Password", slot);
    return platform::ApplicationProfile().GetProfileString("Setting", key, "");
}

std::filesystem::path ServiceSettings::todaysLog() const
{
    const platform::LocalTime now = clock_->localNow();
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", now.year, now.month, now.day);
    return logFolder_ / name;
}

std::vector<std::string> ServiceSettings::readLines(const std::filesystem::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ServiceSettings::logRecords() const
{
    std::vector<std::string> records;
    for (const std::string& line : readLines(todaysLog())) {
        if (!line.starts_with("#")) {
            records.push_back(line.size() > 9 ? line.substr(9) : line);
        }
    }
    return records;
}

bool ServiceSettings::waitForLogRecord(std::string_view record, std::chrono::milliseconds limit) const
{
    return testsupport::WaitUntil(
        [&] {
            const auto records = logRecords();
            return std::find(records.begin(), records.end(), record) != records.end();
        },
        limit);
}

// ---- ProfileFixture ----

void ProfileFixture::SetUp()
{
    platform::SetApplicationProfilePath(dir_ / "Ondrel.ini");
    platform::SetMessageBoxHandler([this](std::string_view text) {
        std::lock_guard lock(boxesMutex_);
        boxes_.emplace_back(text);
    });
    setUpService(dir_.path());
}

void ProfileFixture::TearDown()
{
    tearDownService();
    platform::SetMessageBoxHandler({});
}

std::vector<std::string> ProfileFixture::messageBoxes() const
{
    std::lock_guard lock(boxesMutex_);
    return boxes_;
}

// ---- SessionClient ----

SessionClient::SessionClient(unsigned port) : client_(port) {}

SessionClient::SessionClient(const std::string& host, unsigned port, const std::string& source,
                             std::chrono::milliseconds limit)
    : client_(host, port, source, limit)
{
}

std::string SessionClient::readThrough(std::string_view text, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Short reads, so that a text split between what was kept and what arrives is found.
    while (pending_.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pending_ += client_.receiveUntil(text, 20ms);
    }
    const std::size_t at = pending_.find(text);
    const std::size_t end = at == std::string::npos ? pending_.size() : at + text.size();
    std::string taken = pending_.substr(0, end);
    pending_.erase(0, end);
    return taken;
}

bool SessionClient::waitForClose(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        pending_ += client_.receiveFor(20ms);
        char probe = 0;
        const ssize_t n = ::recv(client_.fd(), &probe, 1, MSG_DONTWAIT | MSG_PEEK);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return true;
        }
    }
    return false;
}

// ---- SessionFixture ----

void SessionFixture::SetUp()
{
    RadioLinkFixture::SetUp();
    setUpService(dir_.path());
}

void SessionFixture::TearDown()
{
    linkcore_.SocketServerClose();
    linkcore_.SetLoadMessageEnable(0);
    RadioLinkFixture::TearDown();
    tearDownService();
}

void SessionFixture::startService(int model, int simulatedModel)
{
    startRadio(simulatedModel != 0 ? simulatedModel : model);
    ASSERT_EQ(openLink(static_cast<unsigned>(model)), 1);
    port_ = testsupport::FreeTcpPort();
    ASSERT_EQ(linkcore_.SocketServerOpen(port_), 1);
}

std::unique_ptr<SessionClient> SessionFixture::connect()
{
    auto client = std::make_unique<SessionClient>(port_);
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(client->readThrough(kGreeting), kGreeting);
    return client;
}

void SessionFixture::logIn(SessionClient& client, std::string_view user, std::string_view password)
{
    client.send("UID:" + std::string(user) + ";");
    ASSERT_EQ(client.readThrough(kUserIdOk), kUserIdOk);
    client.send("PWD:" + std::string(password) + ";");
    ASSERT_EQ(client.readThrough(kLoggedIn), kLoggedIn);
}

std::unique_ptr<SessionClient> SessionFixture::connectAndLogIn()
{
    auto client = connect();
    logIn(*client);
    return client;
}

bool SessionFixture::waitUntilListening()
{
    const bool listening = testsupport::WaitUntil([&] {
        return shared_.clientConnected == 0 && shared_.socket.GetRcvDataLength() >= 0 &&
               shared_.socket.GetSocketAccepted() == 0;
    });
    // The radio answers the close steps' requests; the answers would reach the next
    // client once it logged in. An answer to a request of the test's own, sent
    // after them, shows that the reader has handled them all.
    shared_.radioState.AI.received = 0;
    return listening && connDirect("AI;") == 1 &&
           testsupport::WaitUntil([&] { return shared_.radioState.AI.received == 1; });
}

void SessionFixture::collect()
{
    for (const platform::Message& message : window_.drain()) {
        if (message.message != WM_LINKCORE_NOTIFY) {
            continue;
        }
        if (message.wParam == linkcore::kNotifySession || message.wParam == linkcore::kNotifyElapsed) {
            notifications_.push_back(message);
        } else {
            radioNotifications_.push_back(message);
        }
    }
}

std::vector<platform::Message> SessionFixture::sessionNotifications()
{
    collect();
    return notifications_;
}

bool SessionFixture::waitForNotification(platform::WParam code, platform::LParam value,
                                         std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil(
        [&] {
            const auto all = sessionNotifications();
            return std::any_of(all.begin(), all.end(), [&](const platform::Message& m) {
                return m.wParam == code && m.lParam == value;
            });
        },
        limit);
}

bool SessionFixture::waitForRadioNotification(platform::WParam code, platform::LParam value,
                                              std::chrono::milliseconds limit)
{
    return testsupport::WaitUntil(
        [&] {
            collect();
            const auto found = std::find_if(radioNotifications_.begin(), radioNotifications_.end(),
                                            [&](const platform::Message& m) {
                                                return m.wParam == code && m.lParam == value;
                                            });
            if (found == radioNotifications_.end()) {
                return false;
            }
            radioNotifications_.erase(radioNotifications_.begin(), found + 1);
            return true;
        },
        limit);
}

void SessionFixture::syncRadio()
{
    // "AI0;" is answered with nothing, so it reaches no client.
    const auto count = [this] {
        const auto commands = radio_->receivedCommands();
        return std::count(commands.begin(), commands.end(), "AI0;");
    };
    const auto before = count();
    ASSERT_EQ(connDirect("AI0;"), 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return count() > before; }));
}

} // namespace sessiontest
