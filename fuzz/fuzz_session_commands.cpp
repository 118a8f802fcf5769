// Drives the session thread's framing, dispatcher and deadlines with arbitrary
// client bytes in arbitrary pieces, before and after login, for either model, in
// and out of pass-through mode. The radio is the device end of a pseudo-terminal
// whose other end the harness reads, so the serial writes are real; the network
// endpoint has no client, so replies are refused as for a client that has gone.
//
// Input: one byte of switches, then pieces, each a header byte (length in the low
// six bits, clock advance in the high two: 0, 10, 20 or 30 seconds) and its bytes.
//
// Checked besides memory safety: the pending command text stays below the limit,
// the user ID within 32 characters, the flags 0 or 1, a logged-in session has a
// user, and nothing reaches the radio from a session that has not logged in (or
// whose radio is of an unknown model) unless the session closed.

#include "linkcore/facade/LinkcoreShared.h"
#include "linkcore/session/SessionServer.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace {

class FuzzClock final : public platform::Clock {
public:
    std::int64_t nowSeconds() const override { return now.load(); }
    platform::LocalTime localNow() const override { return platform::LocalTime{2027, 1, 15, 8, 0, 0}; }
    platform::MonoTime monotonicNow() const override { return std::chrono::seconds(now.load()); }
    std::atomic<std::int64_t> now{1'800'000'000};
};

// Reports the broken condition, then aborts, which the fuzzer records as a crash.
#define SESSION_CHECK(condition)                                                         \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                              \
        }                                                                              \
    } while (false)

struct Harness {
    Harness()
    {
        char pattern[] = "/tmp/fuzz_session.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        folder = pattern;
        platform::SetApplicationProfilePath(folder / "Ondrel.ini");
        platform::SetMessageBoxHandler([](std::string_view) {});
        platform::SetClock(&clock);
        platform::Profile& profile = platform::ApplicationProfile();
        profile.WriteProfileInt("Setting", "MIREL Log", 1);
        profile.WriteProfileString("File Path", "MIREL Log File Path", folder.string());
        profile.WriteProfileString("Setting", "MIREL 000 User ID", "fuzz");
        profile.WriteProfileString("Setting", "MIREL 000 Password", "pw");
        profile.WriteProfileString("Setting", "MIREL 001 User ID", "off");
        profile.WriteProfileString("Setting", "MIREL 001 Password", "pw");
        profile.WriteProfileInt("Setting", "MIREL 001 User Disabled", 1);
        profile.WriteProfileInt("Setting", "MIREL Session Time", 1);

        int device = -1;
        if (::openpty(&controller, &device, nullptr, nullptr, nullptr) != 0) {
            std::abort();
        }
        ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
        profile.WriteProfileString("COM Devices", "COM1", ::ttyname(device));
        if (linkcore.RadioConnectionOpen(20, 1, 9600, 1) != 1) {
            std::abort();
        }
        ::close(device);
    }

    ~Harness()
    {
        linkcore.RadioConnectionClose();
        ::close(controller);
        platform::SetClock(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // What the radio received since the last call. A pseudo-terminal hands written
    // bytes on asynchronously, so a numbered marker is written after them and the
    // text is read up to it.
    std::string radioInput()
    {
        const std::string marker = "\x02sync " + std::to_string(++markers) + "\x02";
        if (linkcore.ConnDirect(reinterpret_cast<const unsigned char*>(marker.c_str())) != 1) {
            std::abort();
        }
        std::string received;
        char buffer[4096];
        while (!received.ends_with(marker)) {
            pollfd readable{controller, POLLIN, 0};
            if (::poll(&readable, 1, 5000) <= 0) {
                std::abort();
            }
            const ssize_t n = ::read(controller, buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
            } else if (!(n < 0 && (errno == EINTR || errno == EAGAIN))) {
                std::abort();
            }
        }
        received.resize(received.size() - marker.size());
        return received;
    }

    std::filesystem::path folder;
    FuzzClock clock;
    CLinkcore linkcore;
    int controller = -1;
    std::uint64_t markers = 0;
    std::size_t inputs = 0;
};

Harness& TheHarness()
{
    static Harness harness;
    return harness;
}

void CheckRecord(const LinkcoreShared& shared, const CLinkcore::SessionLoop& loop)
{
    const linkcore::SessionRecord& session = shared.session;
    SESSION_CHECK(loop.pendingText().size() < linkcore::kCommandTextLimit);
    SESSION_CHECK(session.userId().size() <= linkcore::SessionRecord::kMaxUserIdLength);
    SESSION_CHECK(session.clientLoggedIn == 0 || session.clientLoggedIn == 1);
    SESSION_CHECK(session.autoStatus == 0 || session.autoStatus == 1);
    SESSION_CHECK(session.clientLoggedIn == 0 || !session.userId().empty());
    SESSION_CHECK(session.loginFailures >= 0 && session.loginFailures <= 3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Harness& harness = TheHarness();
    LinkcoreShared& shared = LinkcoreShared::instance();
    if (size == 0) {
        return 0;
    }
    // The log grows with every input; start the day's file afresh now and then.
    if (++harness.inputs % 4096 == 0) {
        std::filesystem::remove(harness.folder / "20270115.log");
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

    CLinkcore::SessionLoop loop(shared);
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
        SESSION_CHECK(shared.session.clientLoggedIn == 1);
        if ((switches >> 5) & 1) {
            loop.takeClientText("@@AI1;");
        }
    }
    harness.radioInput();

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

        const std::string radio = harness.radioInput();
        const bool loggedInAfter = shared.session.clientLoggedIn == 1;
        const bool unknownModel = model != linkcore::kModelCorvex && model != linkcore::kModelTarsel;
        const bool rawToRadio = passThrough && loggedInBefore;
        if (!closedAny && !loggedInBefore && !loggedInAfter) {
            SESSION_CHECK(radio.empty());
        }
        if (!closedAny && unknownModel && !rawToRadio) {
            SESSION_CHECK(radio.empty());
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
