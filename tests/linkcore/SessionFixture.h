// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the session-server tests. ProfileFixture gives each test its own
// application profile, log folder, message-box record and manual clock;
// SessionFixture adds the radio simulator on a pseudo-terminal, the radio link and
// the session server on a free loopback port. SessionClient is a loopback client
// that reads the server's texts in order.
#pragma once

#include "linkcore/Linkcore.h"
#include "platform/WindowMessage.h"
#include "protocol/HostTexts.h"
#include "RadioLinkFixture.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/ManualClock.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sessiontest {

using namespace std::chrono_literals;

// What the host sends: the protocol's one list, by its own names.
using namespace protocol;

// The users every fixture starts with.
inline constexpr std::string_view kUser = "alice";
inline constexpr std::string_view kPassword = "Secret-1";
inline constexpr std::string_view kDisabledUser = "bob";
inline constexpr std::string_view kDisabledPassword = "bobpass";

// The network service's settings in the current application profile: logging on
// into a folder of its own, two users (kUser, and kDisabledUser who is disabled),
// and a manual clock installed as the platform clock.
class ServiceSettings {
protected:
    void setUpService(const std::filesystem::path& folder);
    void tearDownService();

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInt(std::string_view section, std::string_view key, int value);
    void addUser(int slot, std::string_view id, std::string_view password, std::string_view description = "",
                 int disabled = 0);
    std::string storedPassword(int slot) const;

    // The log folder and the file of the clock's current date in it.
    const std::filesystem::path& logFolder() const { return logFolder_; }
    std::filesystem::path todaysLog() const;
    static std::vector<std::string> readLines(const std::filesystem::path& file);
    // The records of today's log without their time stamps ("1.2.3.4 OPEN - ...").
    std::vector<std::string> logRecords() const;
    // Waits until today's log holds a record equal to `record`.
    bool waitForLogRecord(std::string_view record, std::chrono::milliseconds limit = 5s) const;

    std::optional<testsupport::ManualClock> clock_;

private:
    std::filesystem::path logFolder_;
};

// A profile of its own for tests without the radio, with the message boxes recorded.
class ProfileFixture : public ::testing::Test, protected ServiceSettings {
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<std::string> messageBoxes() const;

    testsupport::TempDir dir_;

private:
    mutable std::mutex boxesMutex_;
    std::vector<std::string> boxes_;
};

// A client of the session server that keeps what it read past the text it waited for.
class SessionClient {
public:
    explicit SessionClient(unsigned port);
    // Connects to the numeric `host` from the numeric `source` (empty: the system's choice).
    SessionClient(const std::string& host, unsigned port, const std::string& source = {},
                  std::chrono::milliseconds limit = 5s);

    bool connected() const { return client_.connected(); }
    void send(std::string_view bytes) { client_.send(bytes); }
    // Everything up to and including the first `text` still unread; what was read
    // so far when it does not come within `limit`.
    std::string readThrough(std::string_view text, std::chrono::milliseconds limit = 5s);
    // True when the server closed the connection; the unread text stays readable.
    bool waitForClose(std::chrono::milliseconds limit = 5s);
    // Text read but not yet returned.
    const std::string& unread() const { return pending_; }
    void close() { client_.close(); }
    int fd() const { return client_.fd(); }

private:
    testsupport::LoopbackClient client_;
    std::string pending_;
};

// The radio fixture of the radio-side tests with the service settings added: the
// simulated radio, the radio link and the session server on a free port.
class SessionFixture : public radiotest::RadioLinkFixture, protected ServiceSettings {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulated radio of `simulatedModel` (0: the same), opens the radio
    // link with `model` as the connected model and opens the session server.
    void startService(int model = 20, int simulatedModel = 0);
    // Connects and reads the greeting.
    std::unique_ptr<SessionClient> connect();
    // Connects, reads the greeting and logs in as kUser.
    std::unique_ptr<SessionClient> connectAndLogIn();
    void logIn(SessionClient& client, std::string_view user = kUser, std::string_view password = kPassword);
    // Waits until the server listens for its next client, so that a new connection
    // is not turned away while the last session closes.
    bool waitUntilListening();

    // The session notifications (0x3000 and 0x2003) posted so far, oldest first.
    std::vector<platform::Message> sessionNotifications();
    bool waitForNotification(platform::WParam code, platform::LParam value, std::chrono::milliseconds limit = 5s);
    // Waits for a radio notification of `code` with `value`, dropping the others.
    bool waitForRadioNotification(platform::WParam code, platform::LParam value,
                                  std::chrono::milliseconds limit = 5s);

    // Makes sure every radio write before this call has been read by the radio.
    void syncRadio();

    unsigned port_ = 0;

private:
    void collect();
    std::vector<platform::Message> notifications_;
    std::vector<platform::Message> radioNotifications_;
};

} // namespace sessiontest
