// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel_soak: does the host keep its descriptors, threads and memory over a long run?
//
//   ondrel_soak [--cycles N]        N client cycles (default 10,000) against
//                                   `ondrel --headless` on the simulated radio
//   ondrel_soak --service-cycles N  N start/stop cycles of the service from the
//                                   window's controller, in this process
//   ondrel_soak --radio-loss N      N radios lost under a logged-in client
//
// Client cycles: connect, greeting, login, "FA;" and its answer, close; mixed in, a
// wrong password before the right one, three wrong passwords (the host ends the
// session), a second client while one is logged in (answered "BUSY;"), and abrupt
// resets (SO_LINGER 0) after the greeting and while the host is answering. The host's
// open descriptors, threads and resident memory are read from /proc at the start,
// after a warm-up and at the end, and every session must have its OPEN and CLOSE
// lines in the activity log, in turn. Each connection is made once, at once after the
// previous session's end: refused, reset, answered "BUSY;" or left without a greeting,
// it fails the run.
//
// Radio loss: N tries of a fresh host and radio, a client logged in, the radio's
// line hung up; each must tell the client "Radio connection lost." before the close.
//   ondrel_soak --radio-loss N
//
// Service cycles: ServiceController start (radio identified, server open, power
// reported), a client connected (every other cycle logged in), stop; this process's
// descriptors, threads and memory after the first cycle and at the end.
//
// The exit status is 0 when nothing grew; 1 when descriptors or threads grew, a
// session lacks its log lines, memory grew beyond the tolerance after the warm-up,
// or a cycle failed.
#include "client/HostProtocol.h"
#include "host/ServiceController.h"
#include "host/ServiceHost.h"
#include "linkcore/Linkcore.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WindowMessage.h"
#include "protocol/HostTexts.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>


namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kReplyLimit = 5s;
// Resident memory may grow this much after the warm-up before it counts as growth:
// allocator arenas and caches settle in steps of pages, not bytes.
constexpr long kMemoryToleranceKb = 1024;

// Memory figures mean little under a sanitizer (its quarantine and shadow grow on
// their own); there they are reported, not judged.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kJudgeMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kJudgeMemory = false;
#else
constexpr bool kJudgeMemory = true;
#endif
#else
constexpr bool kJudgeMemory = true;
#endif

// ---- Figures of a process ----

struct Figures {
    int descriptors = -1;
    int threads = -1;
    long rssKb = -1;
};

Figures ReadFigures(const std::string& pid)
{
    Figures figures;
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + pid + "/fd", error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    if (!error) {
        figures.descriptors = count;
    }
    std::ifstream status("/proc/" + pid + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:")) {
            figures.threads = std::stoi(line.substr(8));
        } else if (line.starts_with("VmRSS:")) {
            figures.rssKb = std::stol(line.substr(6));
        }
    }
    return figures;
}

void PrintFigures(const char* label, const Figures& figures)
{
    std::printf("  %-22s %6d descriptors %4d threads %8ld kB resident\n", label, figures.descriptors,
                figures.threads, figures.rssKb);
}

// Compares the end with the start (descriptors, threads) and with the warm-up (memory);
// prints and returns the verdict.
bool Judge(const Figures& start, const Figures& warm, const Figures& end)
{
    bool ok = true;
    if (end.descriptors < 0 || end.descriptors > start.descriptors) {
        std::printf("FAIL: descriptors grew from %d to %d\n", start.descriptors, end.descriptors);
        ok = false;
    }
    if (end.threads < 0 || end.threads > start.threads) {
        std::printf("FAIL: threads grew from %d to %d\n", start.threads, end.threads);
        ok = false;
    }
    const long grown = end.rssKb - warm.rssKb;
    if (kJudgeMemory && grown > kMemoryToleranceKb) {
        std::printf("FAIL: resident memory grew by %ld kB after the warm-up (tolerance %ld kB)\n", grown,
                    kMemoryToleranceKb);
        ok = false;
    } else {
        std::printf("  resident memory after the warm-up: %+ld kB (tolerance %ld kB%s)\n", grown, kMemoryToleranceKb,
                    kJudgeMemory ? "" : ", not judged under a sanitizer");
    }
    return ok;
}

// Waits until the figures of `pid` are back to `target` (descriptors and threads) or
// `limit` passes: a session's last descriptor may still be closing.
Figures SettledFigures(const std::string& pid, const Figures& target, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const Figures figures = ReadFigures(pid);
        if ((figures.descriptors <= target.descriptors && figures.threads <= target.threads) ||
            Clock::now() > deadline) {
            return figures;
        }
        std::this_thread::sleep_for(10ms);
    }
}

// ---- A client ----

// A connection to the host (testsupport::LoopbackClient) with what it received and
// has not yet handed out.
class Connection {
public:
    // Connects to 127.0.0.1:port, once; false when refused or failed.
    bool connect(unsigned port)
    {
        socket_.emplace("127.0.0.1", port, std::string(), 0ms);
        received_.clear();
        if (!socket_->connected()) {
            socket_.reset();
            return false;
        }
        const int on = 1;
        ::setsockopt(socket_->fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return true;
    }

    bool send(std::string_view bytes) { return socket_ && socket_->send(bytes); }

    // Reads until the text received since the last call holds `text`; false when the
    // host closes first or `limit` passes. The text is then in received().
    bool expect(std::string_view text, std::chrono::milliseconds limit = kReplyLimit)
    {
        if (!socket_ || !socket_->receiveInto(received_, text, limit)) {
            last_ = std::move(received_);
            received_.clear();
            return false;
        }
        const std::size_t end = received_.find(text) + text.size();
        last_ = received_.substr(0, end);
        received_.erase(0, end);
        return true;
    }

    // What is left of the last read, else what arrives within `limit`; empty when
    // nothing came or the host closed.
    std::string receive(std::chrono::milliseconds limit = kReplyLimit)
    {
        if (!received_.empty()) {
            return std::exchange(received_, {});
        }
        return socket_ ? socket_->receiveSome(limit) : std::string();
    }

    // Puts `bytes` back before whatever is received next.
    void unread(const std::string& bytes) { received_.insert(0, bytes); }

    // True when the host closes the connection within kReplyLimit.
    bool expectClose() { return socket_ && socket_->waitForClose(kReplyLimit); }

    // The text up to what the last expect() found; after a failed one, all text received.
    const std::string& received() const { return last_; }

    // Closes with a reset instead of the orderly end: SO_LINGER with a zero time.
    void reset()
    {
        if (socket_) {
            const linger abort{1, 0};
            ::setsockopt(socket_->fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        close();
    }

    void close() { socket_.reset(); }

private:
    std::optional<testsupport::LoopbackClient> socket_;
    std::string received_;
    std::string last_;
};

using protocol::kBusy;
using protocol::kGreeting;
using protocol::kLoginFailed;

struct Counts {
    long sessions = 0;      // connections the host greeted
    long reconnects = 0;    // of them, made at once after the previous session's end
    long logins = 0;
    long wrongPasswords = 0;
    long busyRefusals = 0;  // "BUSY;" to a second client, as expected
    long resets = 0;
    long lateBusy = 0;      // "BUSY;" although no session was left: a failure
    long refusedConnects = 0; // a failure
    long dropped = 0;       // accepted, then closed without a greeting or "BUSY;": a failure
    long stalled = 0;       // connected, then neither greeted nor closed within kStallLimit: a failure
};

// The host keeps its listening socket between sessions, so a client that connects at
// once after a session ended waits for the close steps and is then greeted. Anything
// else (refused, reset, "BUSY;", or nothing within kStallLimit) is a failure.
constexpr auto kStallLimit = 2s;

// The next session: connects once, at once, and reads the greeting. `immediate`: the
// previous session has just ended; counted as a reconnect.
bool OpenSession(Connection& client, unsigned port, Counts& counts, bool immediate)
{
    if (!client.connect(port)) {
        ++counts.refusedConnects;
        return false;
    }
    // The greeting ends in ">"; "BUSY;" comes without one, followed by the close.
    const auto attempt = Clock::now();
    client.expect(">", kStallLimit);
    if (client.received().find(kGreeting) != std::string::npos) {
        ++counts.sessions;
        counts.reconnects += immediate ? 1 : 0;
        return true;
    }
    if (client.received().find(kBusy) != std::string::npos) {
        ++counts.lateBusy;
    } else if (Clock::now() - attempt >= kStallLimit) {
        ++counts.stalled;
    } else {
        ++counts.dropped;
    }
    client.close();
    return false;
}

// Logs in as ondrel-client does, through its login dialogue (client/HostProtocol.h),
// after OpenSession has read the greeting: the user ID, then the passwords in turn while
// the host answers "PWD:NG;". What the host sends after the login reply stays for the
// session. Returns how the dialogue ended (InProgress when the host fell silent) and
// counts the wrong passwords in `wrongPasswords`.
client::LoginResult LogIn(Connection& connection, const std::string& user, const std::vector<std::string>& passwords,
                          int& wrongPasswords)
{
    client::LoginDialogue dialogue(user, passwords.front());
    dialogue.receive(connection.received());
    std::size_t next = 1;
    for (;;) {
        if (dialogue.result() == client::LoginResult::PasswordWrong && next < passwords.size()) {
            dialogue.retry(passwords[next++]);
        }
        if (const std::string out = dialogue.takeOutgoing(); !out.empty() && !connection.send(out)) {
            dialogue.closed();
        }
        if (dialogue.result() != client::LoginResult::InProgress) {
            break;
        }
        const std::string bytes = connection.receive();
        if (bytes.empty()) {
            break;
        }
        dialogue.receive(bytes);
    }
    connection.unread(dialogue.takeSessionBytes());
    wrongPasswords = dialogue.wrongPasswords();
    return dialogue.result();
}

bool LogIn(Connection& connection, const std::string& user, const std::string& password)
{
    int wrongPasswords = 0;
    return LogIn(connection, user, {password}, wrongPasswords) == client::LoginResult::LoggedIn;
}

// True when `text` ends in a frequency answer: "FA", eleven digits, ";".
bool EndsInFrequency(const std::string& text)
{
    constexpr std::size_t kLength = 14;
    return text.size() >= kLength && text.compare(text.size() - kLength, 2, "FA") == 0 &&
           std::all_of(text.end() - 12, text.end() - 1, [](char c) { return c >= '0' && c <= '9'; });
}

// "FA;" and its answer; the radio's own reports (auto-information) may come first.
bool Query(Connection& client)
{
    if (!client.send("FA;")) {
        return false;
    }
    for (int replies = 0; replies < 100; ++replies) {
        if (!client.expect(";")) {
            return false;
        }
        if (EndsInFrequency(client.received())) {
            return true;
        }
    }
    return false;
}

// One cycle of kind `kind` (0..9); false, with the reason in `failure`, when the host
// did not answer as it should.
bool RunCycle(int kind, unsigned port, bool immediate, Counts& counts, std::string& failure)
{
    const std::string user = "soak";
    const std::string password = "soak-pass";
    Connection client;
    if (!OpenSession(client, port, counts, immediate)) {
        failure = "no greeting (received: \"" + client.received() + "\", refused " +
                  std::to_string(counts.refusedConnects) + ", busy " + std::to_string(counts.lateBusy) +
                  ", reset " + std::to_string(counts.dropped) + ", stalled " + std::to_string(counts.stalled) + ")";
        return false;
    }
    switch (kind) {
    case 6: { // a wrong password first
        int wrong = 0;
        if (LogIn(client, user, {"wrong", password}, wrong) != client::LoginResult::LoggedIn || wrong != 1) {
            failure = "login after a wrong password";
            return false;
        }
        ++counts.wrongPasswords;
        ++counts.logins;
        break;
    }
    case 9: // three wrong passwords: the host ends the session
        if (!client.send("UID:" + user + ";PWD:bad1;PWD:bad2;PWD:bad3;") || !client.expect(kLoginFailed) ||
            !client.expectClose()) {
            failure = "three wrong passwords";
            return false;
        }
        counts.wrongPasswords += 3;
        return true;
    case 8: // a reset right after the greeting
        client.reset();
        ++counts.resets;
        return true;
    default:
        if (!LogIn(client, user, password)) {
            failure = "login";
            return false;
        }
        ++counts.logins;
        break;
    }
    if (kind == 7) {
        // A second client while this one is logged in.
        Connection second;
        if (!second.connect(port) || !second.expect(kBusy) || !second.expectClose()) {
            failure = "no BUSY; for a second client";
            return false;
        }
        ++counts.busyRefusals;
    }
    if (kind == 5) {
        // Queries sent, and a reset while the host is writing their answers.
        client.send("FA;FB;IF;FA;FB;IF;");
        client.reset();
        ++counts.resets;
        return true;
    }
    if (!Query(client)) {
        failure = "no answer to FA;";
        return false;
    }
    client.close();
    return true;
}

// ---- The host as a child process ----

// The folder `path`, made when missing.
const std::filesystem::path& Made(const std::filesystem::path& path)
{
    std::filesystem::create_directory(path);
    return path;
}

// `ondrel --headless` on `profile`, its runtime folder in `work`.
class HostProcess : public testsupport::ChildProcess {
public:
    HostProcess(const std::filesystem::path& profile, const std::filesystem::path& work)
        : ChildProcess({ONDREL_PROGRAM, "--headless", "--profile", profile.string()},
                       {"XDG_RUNTIME_DIR=" + Made(work / "runtime").string()})
    {
    }

    std::string pidText() const { return std::to_string(pid()); }

    // What it printed so far, standard output and error.
    std::string printed() { return output() + errors(); }
    // Empties its pipes into output() and errors(), which a long run does now and then
    // so that the host never waits on them.
    void drain()
    {
        output();
        errors();
    }
};

// The profile of one user on COM1 = the radio, the log on in `logFolder`.
void WriteProfile(platform::Profile& profile, const std::string& device, unsigned port,
                  const std::filesystem::path& logFolder)
{
    profile.WriteProfileEntries(std::vector<platform::ProfileEntry>{
        {"COM Devices", "COM1", device},
        {"Setting", "COM Port", "1"},
        {"Setting", "MIREL IP Port No", std::to_string(port)},
        {"Setting", "MIREL Log", "1"},
        {"File Path", "MIREL Log File Path", logFolder.string()},
        {"Setting", "MIREL 000 User ID", "soak"},
        {"Setting", "MIREL 000 Password", "soak-pass"},
        {"Setting", "MIREL 000 Description", "Soak test"},
        // Off, as by default: the wrong passwords of the soak must not lock its address out.
        {"Setting", "MIREL Login Backoff", "0"},
    });
    std::filesystem::create_directories(logFolder);
}

// What a soak runs against: the simulated radio, a scratch folder with the settings
// (Ondrel.ini, written by WriteProfile; the log in log/) and a free port.
struct SoakStation {
    radiosim::RadioSimulator radio;
    testsupport::TempDir work{"ondrel-soak"};
    unsigned port = testsupport::FreeTcpPort();

    std::filesystem::path profilePath() const { return work.path() / "Ondrel.ini"; }
    std::filesystem::path logFolder() const { return work.path() / "log"; }
    // Starts the radio and writes the settings; says why not on standard error.
    bool start()
    {
        if (!radio.start()) {
            std::fprintf(stderr, "ondrel_soak: %s\n", radio.error().c_str());
            return false;
        }
        platform::Profile profile(profilePath());
        WriteProfile(profile, radio.devicePath(), port, logFolder());
        return true;
    }
};

struct LogCheck {
    long opens = 0;
    long closes = 0;
    long outOfTurn = 0; // an OPEN while a session was open, or a CLOSE without one
};

LogCheck CheckLog(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end()); // one file per date, named by it
    LogCheck check;
    bool open = false;
    for (const auto& path : files) {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            if (line.find(" OPEN - Connection Open") != std::string::npos) {
                check.outOfTurn += open ? 1 : 0;
                open = true;
                ++check.opens;
            } else if (line.find(" CLOSE ") != std::string::npos) {
                check.outOfTurn += open ? 0 : 1;
                open = false;
                ++check.closes;
            }
        }
    }
    return check;
}

int RunClientSoak(long cycles)
{
    SoakStation station;
    if (!station.start()) {
        return 1;
    }

    HostProcess host(station.profilePath(), station.work.path());
    if (!host.waitForOutput("Power: on", 15s)) {
        std::fprintf(stderr, "ondrel_soak: the host did not start:\n%s", host.printed().c_str());
        return 1;
    }
    const Figures start = ReadFigures(host.pidText());
    const long warmUp = std::min<long>(200, std::max<long>(cycles / 10, 1));
    Figures warm;
    Counts counts;
    const auto began = Clock::now();
    for (long cycle = 0; cycle < cycles; ++cycle) {
        std::string failure;
        if (!RunCycle(static_cast<int>(cycle % 10), station.port, cycle > 0, counts, failure)) {
            std::printf("FAIL: cycle %ld (kind %ld): %s\n", cycle, cycle % 10, failure.c_str());
            host.stop();
            return 1;
        }
        if (cycle + 1 == warmUp) {
            warm = SettledFigures(host.pidText(), start, 2s);
        }
        host.drain();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

    // The last session's CLOSE line comes once the host has seen the close.
    LogCheck log;
    const auto deadline = Clock::now() + 5s;
    do {
        log = CheckLog(station.logFolder());
    } while (log.closes < counts.sessions && Clock::now() < deadline &&
             (std::this_thread::sleep_for(10ms), true));
    const Figures end = SettledFigures(host.pidText(), start, 5s);

    std::printf("ondrel_soak: %ld client cycles in %.1f s (%.0f per second)\n", cycles, seconds,
                static_cast<double>(cycles) / seconds);
    std::printf("  sessions %ld, logins %ld, wrong passwords %ld, BUSY; refusals %ld, resets %ld\n", counts.sessions,
                counts.logins, counts.wrongPasswords, counts.busyRefusals, counts.resets);
    std::printf("  immediate reconnects greeted %ld; refused %ld, BUSY; %ld, reset without a word %ld, "
                "stalled %ld\n",
                counts.reconnects, counts.refusedConnects, counts.lateBusy, counts.dropped, counts.stalled);
    std::printf("  activity log: %ld OPEN, %ld CLOSE, %ld out of turn\n", log.opens, log.closes, log.outOfTurn);
    std::printf("Host (pid %s):\n", host.pidText().c_str());
    PrintFigures("at the start", start);
    PrintFigures("after the warm-up", warm);
    PrintFigures("at the end", end);
    bool ok = Judge(start, warm, end);
    if (log.opens != counts.sessions || log.closes != counts.sessions || log.outOfTurn != 0) {
        std::printf("FAIL: %ld sessions, but the log holds %ld OPEN and %ld CLOSE lines (%ld out of turn)\n",
                    counts.sessions, log.opens, log.closes, log.outOfTurn);
        ok = false;
    }
    const int status = host.stop();
    if (status != 0) {
        std::printf("FAIL: the host ended with status %d\n", status);
        ok = false;
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

// ---- The radio lost under a logged-in client ----

// One try: a fresh simulated radio and `ondrel --headless`, a client logged in, the
// radio's line hung up. Told: the client received the radio-lost text before the close,
// the log has its record before the CLOSE record, and the host ended with status 2.
bool RadioLossTry(const testsupport::TempDir& work, std::string& failure)
{
    radiosim::RadioSimulator radio;
    if (!radio.start()) {
        failure = radio.error();
        return false;
    }
    const unsigned port = testsupport::FreeTcpPort();
    const auto profilePath = work.path() / "Ondrel.ini";
    const auto logFolder = work.path() / "log";
    std::filesystem::remove_all(logFolder);
    platform::Profile profile(profilePath);
    WriteProfile(profile, radio.devicePath(), port, logFolder);
    HostProcess host(profilePath, work.path());
    if (!host.waitForOutput("Power: on", 15s)) {
        failure = "the host did not start (status " + std::to_string(host.stop()) + "): " + host.printed();
        return false;
    }
    Connection client;
    Counts counts;
    if (!OpenSession(client, port, counts, false) || !LogIn(client, "soak", "soak-pass")) {
        failure = "no login";
        return false;
    }
    radio.stop();
    const bool told = client.expect(protocol::kRadioLost) && client.expectClose();
    // The host stops the service itself and ends with status 2.
    int status = host.waitForExit(kReplyLimit);
    if (status < 0) {
        status = host.stop();
    }
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(logFolder)) {
        std::ifstream file(entry.path());
        log.append(std::istreambuf_iterator<char>(file), {});
    }
    const std::size_t record = log.find(" CONN soak Radio connection lost.");
    const std::size_t close = log.find(" CLOSE soak Connection Close");
    if (!told) {
        failure = "the client got \"" + client.received() + "\"";
    } else if (record == std::string::npos || close == std::string::npos || record > close) {
        failure = "the log lacks the record before the close:\n" + log;
    } else if (status != 2) {
        failure = "the host ended with status " + std::to_string(status);
    }
    return failure.empty();
}

int RunRadioLoss(long tries)
{
    const testsupport::TempDir work("ondrel-soak");
    long told = 0;
    const auto began = Clock::now();
    for (long attempt = 0; attempt < tries; ++attempt) {
        std::string failure;
        if (RadioLossTry(work, failure)) {
            ++told;
        } else {
            std::printf("FAIL: try %ld: %s\n", attempt, failure.c_str());
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf("ondrel_soak: radio lost under a logged-in client, %ld tries in %.1f s\n", tries, seconds);
    std::printf("  told to the client, then closed, with its log record: %ld of %ld\n", told, tries);
    std::printf("%s\n", told == tries ? "PASS" : "FAIL");
    return told == tries ? 0 : 1;
}

// ---- Service cycles in this process ----

// The window's side of the controller without a toolkit: its messages come through a
// queue, the start sequence's pauses are slept as the window sleeps them, and its
// timers are only noted (a cycle is over long before the watchdog's second).
class CycleHost final : public host::ServiceHost {
public:

    platform::MessageQueue queue;
    host::ServiceController* controller = nullptr;

    bool pumpMessages() override
    {
        for (int handled = 0; handled < 100; ++handled) {
            const auto message = queue.take(0ms);
            if (!message) {
                return false;
            }
            if (message->message == WM_LINKCORE_NOTIFY && controller != nullptr) {
                controller->onLinkcoreNotify(message->wParam, message->lParam);
            }
        }
        return queue.size() > 0;
    }
    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    void setTimer(unsigned, std::chrono::milliseconds) override {}
    void killTimer(unsigned) override {}
    void displayChanged(host::DisplayField, const host::HostDisplay&) override {}

    template <typename Condition>
    bool runUntil(Condition condition, std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        while (!condition()) {
            if (Clock::now() > deadline) {
                return false;
            }
            if (const auto message = queue.take(10ms)) {
                if (message->message == WM_LINKCORE_NOTIFY && controller != nullptr) {
                    controller->onLinkcoreNotify(message->wParam, message->lParam);
                }
            }
        }
        return true;
    }
};

bool ServiceCycle(long cycle, host::ServiceController& controller, CycleHost& host, unsigned port,
                  std::string& failure)
{
    controller.start();
    if (!controller.state().serverOpen) {
        failure = "start refused: " + controller.startFailure();
        return false;
    }
    if (!host.runUntil([&] { return controller.state().radioPowerOn; }, 5s)) {
        failure = "no power report";
        return false;
    }
    Counts counts;
    Connection client;
    if (!OpenSession(client, port, counts, false)) {
        failure = "no greeting";
        return false;
    }
    if (cycle % 2 == 1) {
        if (!LogIn(client, "soak", "soak-pass") ||
            !host.runUntil([&] { return controller.state().userLoggedOn; }, 5s) || !Query(client)) {
            failure = "login or query";
            return false;
        }
    }
    // Stopped with the client still connected, as a user switching the service off does.
    controller.stop();
    if (controller.state().serviceRunning || !client.expectClose()) {
        failure = "stop";
        return false;
    }
    return true;
}

int RunServiceCycles(long cycles)
{
    SoakStation station;
    if (!station.start()) {
        return 1;
    }
    platform::SetApplicationProfilePath(station.profilePath());
    // A refused start would otherwise wait for a user to close its message box.
    platform::SetMessageBoxHandler([](std::string_view text) {
        std::fprintf(stderr, "ondrel_soak: message box: %.*s\n", static_cast<int>(text.size()), text.data());
    });

    const Figures before = ReadFigures("self");
    CycleHost host;
    Figures start;
    Figures warm;
    const long warmUp = std::min<long>(100, std::max<long>(cycles / 10, 1));
    const auto began = Clock::now();
    {
        host::ServiceController controller(host, &host.queue, false, false);
        host.controller = &controller;
        for (long cycle = 0; cycle < cycles; ++cycle) {
            std::string failure;
            if (!ServiceCycle(cycle, controller, host, station.port, failure)) {
                std::printf("FAIL: service cycle %ld: %s\n", cycle, failure.c_str());
                return 1;
            }
            host.pumpMessages();
            // The simulator keeps the commands it received; that record is its own memory,
            // not the controller's.
            station.radio.clearReceivedCommands();
            if (cycle == 0) {
                start = SettledFigures("self", before, 2s);
            }
            if (cycle + 1 == warmUp) {
                warm = SettledFigures("self", start, 2s);
            }
        }
        host.controller = nullptr;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const Figures end = SettledFigures("self", start, 5s);
    const LogCheck log = CheckLog(station.logFolder());

    std::printf("ondrel_soak: %ld service start/stop cycles in %.1f s (%.0f ms each)\n", cycles, seconds,
                1000 * seconds / static_cast<double>(cycles));
    std::printf("  activity log: %ld OPEN, %ld CLOSE\n", log.opens, log.closes);
    std::printf("This process (the controller, the libraries' threads and the simulated radio):\n");
    PrintFigures("before the first start", before);
    PrintFigures("after the first cycle", start);
    PrintFigures("after the warm-up", warm);
    PrintFigures("at the end", end);
    bool ok = Judge(start, warm, end);
    if (log.opens != cycles || log.closes != cycles || log.outOfTurn != 0) {
        std::printf("FAIL: %ld cycles, but the log holds %ld OPEN and %ld CLOSE lines\n", cycles, log.opens,
                    log.closes);
        ok = false;
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

bool ParseCount(const char* text, long& value)
{
    const std::string_view view = text;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc{} && end == view.data() + view.size() && value >= 1 && value <= 100'000'000;
}

} // namespace

int main(int argc, char** argv)
{
    long cycles = 10'000;
    long serviceCycles = 0;
    long radioLossTries = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--cycles" && i + 1 < argc && ParseCount(argv[i + 1], cycles)) {
            ++i;
        } else if (option == "--service-cycles" && i + 1 < argc && ParseCount(argv[i + 1], serviceCycles)) {
            ++i;
        } else if (option == "--radio-loss" && i + 1 < argc && ParseCount(argv[i + 1], radioLossTries)) {
            ++i;
        } else {
            std::fputs("usage: ondrel_soak [--cycles N] | --service-cycles N | --radio-loss N\n", stderr);
            return 2;
        }
    }
    // The soak resets connections on purpose; a write to one must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (radioLossTries > 0) {
        return RunRadioLoss(radioLossTries);
    }
    return serviceCycles > 0 ? RunServiceCycles(serviceCycles) : RunClientSoak(cycles);
}
