// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the session thread's framing, dispatcher and deadlines with arbitrary
// client bytes in arbitrary pieces, before and after login, for either model, in
// and out of pass-through mode. The session loop is the server's own (SessionLoop,
// RunBatch, the deciders and the session-close steps); only its ends are in memory:
// a SessionIo that keeps what goes to the radio and drops what goes to the client,
// the host and the log, so that thousands of inputs run per second.
//
// Input: one byte of switches, then pieces, each a header byte (length in the low
// six bits, clock advance in the high two: 0, 10, 20 or 30 seconds) and its bytes.
//
// Checked besides memory safety: the pending command text stays below the limit,
// the user ID within 32 characters, the flags 0 or 1, a logged-in session has a
// user, and nothing reaches the radio from a session that has not logged in (or
// whose radio is of an unknown model) unless the session closed.

#include "FuzzCheck.h"

#include "linkcore/session/SessionServer.h"
#include "linkcore/session/SessionShared.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

class FuzzClock final : public platform::Clock {
public:
    std::int64_t nowSeconds() const override { return now.load(); }
    platform::LocalTime localNow() const override { return platform::LocalTime{2027, 1, 15, 8, 0, 0}; }
    platform::MonoTime monotonicNow() const override { return std::chrono::seconds(now.load()); }
    std::atomic<std::int64_t> now{1'800'000'000};
};

// The session's ends in memory. A client that has gone takes no replies; the radio's
// text is kept for the checks; a closed session's listener comes back at once.
class MemoryIo final : public linkcore::SessionIo {
public:
    int sendToClient(std::string_view) override { return 0; }
    void sendToRadio(std::string_view text) override { radio.append(text); }
    void notifyHost(platform::WParam, platform::LParam) override {}
    void log(const std::string& line) override { FUZZ_CHECK(!line.empty()); }
    void disconnectClient() override {}
    bool listenAgain() override { return true; }

    // What the radio received since the last call.
    std::string takeRadio() { return std::exchange(radio, {}); }

    std::string radio;
};

struct Harness {
    Harness()
    {
        platform::SetApplicationProfilePath(folder.path() / "Ondrel.ini");
        platform::SetMessageBoxHandler([](std::string_view) {});
        platform::SetClock(&clock);
        platform::Profile& profile = platform::ApplicationProfile();
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "fuzz");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "pw");
        profile.WriteProfileString("Setting", "MIREL 001 User ID", "off");
        profile.WriteProfileString("Setting", "MIREL 001 Password", "pw");
        profile.WriteProfileInt("Setting", "MIREL 001 User Disabled", 1);
        profile.WriteProfileInt("Setting", "MIREL Session Time", 1);
    }

    ~Harness()
    {
        platform::SetClock(nullptr);
    }

    testsupport::TempDir folder{"fuzz_session_commands", testsupport::InMemoryTempBase()};
    FuzzClock clock;
    // The session's record: the radio link and the endpoint in it are never opened.
    linkcore::SessionShared shared;
    MemoryIo io;
};

Harness& TheHarness()
{
    static Harness harness;
    return harness;
}

void CheckRecord(const linkcore::SessionShared& shared, const linkcore::SessionLoop& loop)
{
    const linkcore::SessionRecord& session = shared.session;
    FUZZ_CHECK(loop.pendingText().size() < linkcore::kCommandTextLimit);
    FUZZ_CHECK(session.userId().size() <= linkcore::SessionRecord::kMaxUserIdLength);
    FUZZ_CHECK(session.clientLoggedIn == 0 || session.clientLoggedIn == 1);
    FUZZ_CHECK(session.autoStatus == 0 || session.autoStatus == 1);
    FUZZ_CHECK(session.clientLoggedIn == 0 || !session.userId().empty());
    FUZZ_CHECK(session.loginFailures >= 0 && session.loginFailures <= 3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Harness& harness = TheHarness();
    linkcore::SessionShared& shared = harness.shared;
    MemoryIo& io = harness.io;
    if (size == 0) {
        return 0;
    }

    const std::uint8_t switches = data[0];
    constexpr std::int32_t kModels[] = {linkcore::kModelCorvex, linkcore::kModelTarsel, 18, 0};
    const std::int32_t model = kModels[switches & 3];
    shared.serverRun = 0; // a close does not listen again: there is no server
    shared.loadMessageEnable = (switches >> 4) & 1;
    shared.radioState.ID.model = model;

    // "@@CP" of an earlier input may have changed the password.
    platform::Profile& profile = platform::ApplicationProfile();
    if (profile.GetProfileString("Setting", "MIREL 000 Password", "") != "pw") {
        profile.WriteProfileString("Setting", "MIREL 000 Password", "pw");
    }

    linkcore::SessionLoop loop(shared, io);
    const auto accept = [&] {
        shared.clientConnected = 1;
        shared.session.clear();
        shared.session.sessionStartTime = harness.clock.monotonicNow().count();
        shared.session.lastReceiveTime = harness.clock.monotonicNow().count();
    };
    accept();
    const bool passThrough = ((switches >> 3) & 1) != 0;
    shared.passThrough = passThrough ? 1 : 0;
    if ((switches >> 2) & 1) {
        loop.takeClientText("UID:fuzz;PWD:pw;");
        FUZZ_CHECK(shared.session.clientLoggedIn == 1);
        if ((switches >> 5) & 1) {
            loop.takeClientText("@@AI1;");
        }
    }
    io.takeRadio();

    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x3F, size - at);
        const std::string piece(reinterpret_cast<const char*>(data + at), length);
        at += length;
        harness.clock.now += (header >> 6) * 10;

        const bool loggedInBefore = shared.session.clientLoggedIn == 1;
        const platform::MonoTime now = harness.clock.monotonicNow();
        shared.session.lastReceiveTime = now.count();
        loop.takeClientText(piece);
        if (shared.clientConnected == 1) {
            loop.checkDeadlines(now);
        }
        const bool closedAny = shared.clientConnected == 0;
        CheckRecord(shared, loop);

        const std::string radio = io.takeRadio();
        const bool loggedInAfter = shared.session.clientLoggedIn == 1;
        const bool unknownModel = model != linkcore::kModelCorvex && model != linkcore::kModelTarsel;
        const bool rawToRadio = passThrough && loggedInBefore;
        if (!closedAny && !loggedInBefore && !loggedInAfter) {
            FUZZ_CHECK(radio.empty());
        }
        if (!closedAny && unknownModel && !rawToRadio) {
            FUZZ_CHECK(radio.empty());
        }
        if (closedAny) {
            // The next client, as the session thread would accept it.
            accept();
            shared.passThrough = passThrough ? 1 : 0;
        }
    }
    shared.clientConnected = 0;
    return 0;
}
