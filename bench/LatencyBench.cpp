// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel_latency_bench: the same simulated radio reached three ways in one run:
// (a) through the host (`ondrel --headless`, a child process with a profile of its
// own), (b) through ser2net, a plain serial-to-TCP bridge (when installed), and (c)
// directly on the radio's pseudo-terminal. For each: the round-trip time of a query
// ("FA;" answered by "FA<11 digits>;"), and the time of 20,000 queries sent back to
// back with every answer counted. For the host also: its CPU time and wake-ups
// (context switches of all its threads) while idle, with and without a logged-in
// client, and its resident memory. Then (d) a second host with "MIREL TLS" on: the
// round trip of the same query over TLS against (a), the time of a TLS handshake, and
// that host's resident memory after its TLS sessions; and (e), the floor under (d): the
// same round trips and memory with a bare server that has nothing but the endpoint's
// TLS channel (ondrel_tls_echo), with TLS and on plain TCP.
//   ondrel_latency_bench [--queries N] [--burst N] [--idle-seconds S]
#include "netport/TlsIdentity.h"
#include "netport/tls/TlsChannel.h"
#include "platform/Descriptor.h"
#include "platform/Profile.h"
#include "platform/PseudoTerminal.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <thread>


namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWarmUpQueries = 50;
constexpr auto kReplyLimit = 2s;

using platform::Descriptor;
using platform::WriteAll;

// Reads from `fd` into `received` until `done(received)` holds or `limit` passes.
template <typename Done>
bool ReadUntil(int fd, std::string& received, Done done, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    char buffer[1024];
    while (!done(received)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        const int result = ::poll(&ready, 1, static_cast<int>(left.count()) + 1);
        if (result < 0 && errno != EINTR) {
            return false;
        }
        if (result <= 0) {
            continue;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

// True once `text` holds a complete frequency reply "FA" + 11 digits + ";".
bool HasFrequencyReply(const std::string& text)
{
    for (std::size_t at = text.find("FA"); at != std::string::npos; at = text.find("FA", at + 1)) {
        if (text.size() >= at + 14 && text[at + 13] == ';' &&
            std::all_of(text.begin() + static_cast<long>(at) + 2, text.begin() + static_cast<long>(at) + 13,
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return true;
        }
    }
    return false;
}

// Sends "FA;" `count` times through `ask` (which sends it and reads the reply), one at
// a time, and returns each round trip in microseconds.
template <typename Ask>
std::optional<std::vector<double>> MeasureRoundTrips(int count, Ask ask)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (!ask()) {
            return std::nullopt;
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
}

// Asks "FA;" on the plain connection `fd` and reads the reply.
auto AskOn(int fd)
{
    return [fd] {
        std::string received;
        return WriteAll(fd, "FA;") && ReadUntil(fd, received, HasFrequencyReply, kReplyLimit);
    };
}

std::optional<std::vector<double>> MeasureQueries(int fd, int count)
{
    return MeasureRoundTrips(count, AskOn(fd));
}

// The client side of a TLS session with the host, driven with poll() as ondrel-client
// drives it: handshake, then whole writes and reads until a reply is complete.
class TlsSession {
public:
    // Connects and shakes hands; valid() tells whether both worked.
    explicit TlsSession(int fd, const netport::tls::TlsContext& context)
        : fd_(fd), channel_(std::make_unique<netport::tls::TlsChannel>(context, fd, "127.0.0.1"))
    {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        for (;;) {
            const auto result = channel_->handshake();
            if (result == netport::tls::TlsResult::Done) {
                valid_ = true;
                return;
            }
            if (!waitFor(result)) {
                return;
            }
        }
    }

    bool valid() const { return valid_; }

    bool send(std::string_view text)
    {
        while (!text.empty()) {
            std::size_t sent = 0;
            const auto result = channel_->write(text.data(), text.size(), sent);
            if (result == netport::tls::TlsResult::Done) {
                text.remove_prefix(sent);
            } else if (!waitFor(result)) {
                return false;
            }
        }
        return true;
    }

    // As ondrel-client does, the socket is read when poll() says so, or while the
    // channel holds records already read: never in the hope that something came.
    template <typename Done>
    bool readUntil(std::string& received, Done done)
    {
        while (!done(received)) {
            if (!channel_->hasPending() && !waitFor(netport::tls::TlsResult::WantRead)) {
                return false;
            }
            char buffer[1024];
            std::size_t count = 0;
            const auto result = channel_->read(buffer, sizeof buffer, count);
            if (result == netport::tls::TlsResult::Done) {
                received.append(buffer, count);
            } else if (result == netport::tls::TlsResult::WantWrite && !waitFor(result)) {
                return false;
            } else if (result != netport::tls::TlsResult::WantRead && result != netport::tls::TlsResult::WantWrite) {
                return false;
            }
        }
        return true;
    }

private:
    bool waitFor(netport::tls::TlsResult result) const
    {
        if (result != netport::tls::TlsResult::WantRead && result != netport::tls::TlsResult::WantWrite) {
            return false;
        }
        pollfd ready{fd_, static_cast<short>(result == netport::tls::TlsResult::WantWrite ? POLLOUT : POLLIN), 0};
        return ::poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(kReplyLimit).count())) > 0;
    }

    int fd_;
    std::unique_ptr<netport::tls::TlsChannel> channel_;
    bool valid_ = false;
};

// Asks "FA;" over `session` and reads the reply.
auto AskOver(TlsSession& session)
{
    return [&session] {
        std::string answer;
        return session.send("FA;") && session.readUntil(answer, HasFrequencyReply);
    };
}

struct Summary {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

Summary Summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double fraction) {
        const auto index = static_cast<std::size_t>(fraction * static_cast<double>(times.size()));
        return times[std::min(index, times.size() - 1)];
    };
    return Summary{at(0.50), at(0.99), times.back()};
}

// Turns Nagle's algorithm off on a client's connection, as the host's own side has it,
// so that each query goes out at once; returns the descriptor.
int NoDelay(const testsupport::LoopbackClient& client)
{
    const int on = 1;
    ::setsockopt(client.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client.fd();
}

// A program in a child process (standard output and error on pipes), ended with
// SIGTERM as a service manager ends it, and killed if still running 15 s later.
class StartedProgram : public testsupport::ChildProcess {
public:
    StartedProgram(const std::vector<std::string>& arguments, const std::filesystem::path& runtime)
        : ChildProcess(arguments, {"XDG_RUNTIME_DIR=" + runtime.string()})
    {
    }
    ~StartedProgram() { stop(15s); }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
};

// User plus system CPU time of process `pid` so far, in seconds.
std::optional<double> CpuSeconds(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        return std::nullopt;
    }
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // Fields after the command name, which is in parentheses and may hold blanks:
    // state is field 3, utime field 14 and stime field 15.
    const char* rest = read ? std::strrchr(line, ')') : nullptr;
    if (rest == nullptr) {
        return std::nullopt;
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2) {
        return std::nullopt;
    }
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Voluntary and involuntary context switches of all the process's threads: each
// is a thread going to sleep or being put aside, so their growth counts wake-ups.
std::optional<long> ContextSwitches(pid_t pid)
{
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:")) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    if (error) {
        return std::nullopt;
    }
    return total;
}

// A field of /proc/<pid>/status in kB (VmRSS, VmHWM).
std::optional<long> StatusKb(pid_t pid, std::string_view field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':') {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return std::nullopt;
}

// A process's resident memory in kB: in all, anonymous, pages of files, and its peak.
struct Resident {
    std::optional<long> all;
    std::optional<long> anonymous;
    std::optional<long> files;
    std::optional<long> peak;
};

Resident ReadResident(pid_t pid)
{
    return Resident{StatusKb(pid, "VmRSS"), StatusKb(pid, "RssAnon"), StatusKb(pid, "RssFile"),
                    StatusKb(pid, "VmHWM")};
}

int ThreadCount(pid_t pid)
{
    std::error_code error;
    int count = 0;
    for ([[maybe_unused]] const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        ++count;
    }
    return count;
}

struct Idle {
    double cpuSeconds = 0;
    long wakeUps = 0;
};

// A logged-in client that stays silent is sent away after 30 s; while measuring with
// one, it sends a query this often, as little as keeps the session.
constexpr auto kKeepAlive = 20s;

// The host's CPU time and context switches over `seconds` of idling; `keepAlive`, when
// set, is called every kKeepAlive.
template <typename KeepAlive>
std::optional<Idle> MeasureIdle(pid_t host, int seconds, KeepAlive keepAlive)
{
    const auto cpuBefore = CpuSeconds(host);
    const auto switchesBefore = ContextSwitches(host);
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (auto next = Clock::now() + kKeepAlive; next < end; next += kKeepAlive) {
        std::this_thread::sleep_until(next);
        if (!keepAlive()) {
            return std::nullopt;
        }
    }
    std::this_thread::sleep_until(end);
    const auto cpuAfter = CpuSeconds(host);
    const auto switchesAfter = ContextSwitches(host);
    if (!cpuBefore || !cpuAfter || !switchesBefore || !switchesAfter) {
        return std::nullopt;
    }
    return Idle{*cpuAfter - *cpuBefore, *switchesAfter - *switchesBefore};
}

struct Burst {
    double seconds = 0;
    long answers = 0;
};

// Sends `count` queries back to back from a thread of its own while this thread reads
// the answers; the time until the last answer, and how many came. Gives up when the
// answers stop for kReplyLimit.
std::optional<Burst> MeasureBurst(int fd, int count)
{
    const std::string reply = "FA00014195000;";
    const auto start = Clock::now();
    bool sentAll = false;
    std::thread sender([&] {
        const std::string block = [] {
            std::string text;
            for (int i = 0; i < 100; ++i) {
                text += "FA;";
            }
            return text;
        }();
        int sent = 0;
        bool ok = true;
        while (ok && sent < count) {
            const int now = std::min(100, count - sent);
            ok = WriteAll(fd, std::string_view(block).substr(0, static_cast<std::size_t>(now) * 3));
            sent += now;
        }
        sentAll = ok;
    });
    std::string received;
    long answers = 0;
    char buffer[16384];
    auto last = Clock::now();
    while (answers < count) {
        pollfd ready{fd, POLLIN, 0};
        const int result = ::poll(&ready, 1, 100);
        if (result < 0 && errno != EINTR) {
            break;
        }
        if (result <= 0) {
            if (Clock::now() - last > kReplyLimit) {
                break;
            }
            continue;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        last = Clock::now();
        received.append(buffer, static_cast<std::size_t>(got));
        std::size_t at = 0;
        for (std::size_t found = received.find(reply); found != std::string::npos;
             found = received.find(reply, at)) {
            ++answers;
            at = found + reply.size();
        }
        received.erase(0, at);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    if (!sentAll) {
        return std::nullopt;
    }
    return Burst{seconds, answers};
}

struct PathResult {
    std::vector<double> roundTrips; // microseconds
    std::optional<Burst> burst;
};

// Round trips and the burst on a connected descriptor.
std::optional<PathResult> MeasurePath(int fd, int queries, int burst)
{
    const auto warmUp = MeasureQueries(fd, kWarmUpQueries);
    const auto measured = MeasureQueries(fd, queries);
    if (!warmUp || !measured) {
        return std::nullopt;
    }
    PathResult result;
    result.roundTrips = *measured;
    result.burst = MeasureBurst(fd, burst);
    return result;
}

// ser2net's program, when installed.
std::optional<std::string> FindSer2net()
{
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
        if (::access(path, X_OK) == 0) {
            return std::string(path);
        }
    }
    return std::nullopt;
}

bool ParseCount(const char* text, int low, int high, int& value)
{
    const std::string_view view = text;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc{} && end == view.data() + view.size() && value >= low && value <= high;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "ondrel_latency_bench: %s\n", what);
    return 1;
}

void PrintRow(const char* label, const std::optional<PathResult>& path)
{
    if (!path) {
        std::printf("  %-20s %10s %10s %10s %12s %10s\n", label, "n/a", "n/a", "n/a", "n/a", "");
        return;
    }
    const Summary s = Summarise(path->roundTrips);
    if (path->burst) {
        std::printf("  %-20s %10.3f %10.3f %10.3f %12.0f %10ld\n", label, s.p50 / 1000, s.p99 / 1000, s.max / 1000,
                    static_cast<double>(path->burst->answers) / path->burst->seconds, path->burst->answers);
    } else {
        std::printf("  %-20s %10.3f %10.3f %10.3f %12s %10s\n", label, s.p50 / 1000, s.p99 / 1000, s.max / 1000,
                    "failed", "");
    }
}

void PrintRatio(const char* label, const std::optional<PathResult>& a, const std::optional<PathResult>& b)
{
    if (!a || !b) {
        return;
    }
    const Summary x = Summarise(a->roundTrips);
    const Summary y = Summarise(b->roundTrips);
    std::printf("  %-20s %9.2fx %9.2fx %9.2fx", label, x.p50 / y.p50, x.p99 / y.p99, x.max / y.max);
    if (a->burst && b->burst) {
        std::printf(" %11.2fx", (static_cast<double>(a->burst->answers) / a->burst->seconds) /
                                    (static_cast<double>(b->burst->answers) / b->burst->seconds));
    }
    std::printf("\n");
}

struct BenchSettings {
    int queries = 3000;
    int burst = 20000;
    int idleSeconds = 60;
};

// The command line; nullopt when it is wrong.
std::optional<BenchSettings> ReadSettings(int argc, char** argv)
{
    BenchSettings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--queries" && i + 1 < argc && ParseCount(argv[i + 1], 10, 1'000'000, settings.queries)) {
            ++i;
        } else if (option == "--burst" && i + 1 < argc && ParseCount(argv[i + 1], 1, 10'000'000, settings.burst)) {
            ++i;
        } else if (option == "--idle-seconds" && i + 1 < argc &&
                   ParseCount(argv[i + 1], 1, 3600, settings.idleSeconds)) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return settings;
}

// Sends the bench user's login on `client` and waits for the host to accept it.
bool LogIn(testsupport::LoopbackClient& client)
{
    std::string received;
    return client.connected() && client.send("UID:bench;PWD:bench;") && client.receiveInto(received, "@@UE1;", 5s);
}

// (c) Directly on the radio's device, as the host's serial port would talk to it;
// nullopt, with the reason printed, when the radio cannot be reached there.
std::optional<PathResult> MeasureDirect(const radiosim::RadioSimulator& radio, const BenchSettings& settings)
{
    // The radio's device, opened as a serial port in raw mode.
    const Descriptor device = platform::OpenRawTerminal(radio.devicePath(), false);
    if (device.get() < 0) {
        Fail("cannot open the radio's device");
        return std::nullopt;
    }
    std::optional<PathResult> direct = MeasurePath(device.get(), settings.queries, settings.burst);
    if (!direct) {
        Fail("the radio did not answer on its device");
    }
    return direct;
}

// (b) Through ser2net: one connection, no character delay, the same line settings.
// Nullopt when ser2net is missing or does not relay, which is only told.
std::optional<PathResult> MeasureSer2net(const radiosim::RadioSimulator& radio, const testsupport::TempDir& work,
                                         const BenchSettings& settings)
{
    const auto program = FindSer2net();
    if (!program) {
        std::fprintf(stderr, "ondrel_latency_bench: ser2net is not installed (Debian package ser2net); "
                             "its row stays empty\n");
        return std::nullopt;
    }
    std::optional<PathResult> bridge;
    const unsigned port = testsupport::FreeTcpPort();
    const auto config = work.path() / "ser2net.yaml";
    std::ofstream(config) << "connection: &bench\n"
                          << "  accepter: tcp,127.0.0.1," << port << "\n"
                          << "  connector: serialdev," << radio.devicePath() << ",9600n81,local\n"
                          << "  options:\n"
                          << "    max-connections: 1\n"
                          << "    chardelay: false\n"
                          << "    mdns: false\n";
    StartedProgram ser2net({*program, "-n", "-u", "-c", config.string(), "-P", (work.path() / "ser2net.pid").string()},
                           work.path());
    const testsupport::LoopbackClient client(port, 5s);
    if (client.connected()) {
        bridge = MeasurePath(NoDelay(client), settings.queries, settings.burst);
    }
    if (!bridge) {
        std::fprintf(stderr, "ondrel_latency_bench: ser2net did not relay the radio's answers\n");
    }
    return bridge;
}

// The host's profile: one user and COM1 on the radio's device, the session server on `port`.
std::filesystem::path WriteHostProfile(const testsupport::TempDir& work, const radiosim::RadioSimulator& radio,
                                       unsigned port)
{
    const auto profilePath = work.path() / "Ondrel.ini";
    platform::Profile profile(profilePath);
    profile.WriteProfileString("COM Devices", "COM1", radio.devicePath());
    profile.WriteProfileInt("Setting", "COM Port", 1);
    profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(port));
    profile.WriteProfileString("Setting", "MIREL 000 User ID", "bench");
    profile.WriteProfileString("Setting", "MIREL 000 Password", "bench");
    return profilePath;
}

// What (a) measures of the host: its path, and its idling and memory.
struct HostResults {
    std::optional<PathResult> path;
    std::optional<Idle> idleLoggedIn;
    std::optional<Idle> idleNoClient;
    std::optional<long> rss;
    std::optional<long> peak;
    int threads = 0;
};

// (a) Through the host, with a client logged in: the path, then the idling while the
// client only keeps its session. False, with the reason printed, when the host fails.
bool MeasureHostLoggedIn(const testsupport::ChildProcess& host, unsigned port, const BenchSettings& settings,
                         HostResults& results)
{
    testsupport::LoopbackClient client(port, 0ms);
    if (!LogIn(client)) {
        Fail("cannot log in to the host");
        return false;
    }
    results.path = MeasurePath(NoDelay(client), settings.queries, settings.burst);
    if (!results.path) {
        Fail("the host did not relay the radio's answers");
        return false;
    }
    // Let the last answers and the host's own traffic settle before measuring.
    std::this_thread::sleep_for(1s);
    results.idleLoggedIn = MeasureIdle(host.pid(), settings.idleSeconds, [&client] {
        std::string answer;
        return WriteAll(client.fd(), "FA;") && ReadUntil(client.fd(), answer, HasFrequencyReply, kReplyLimit);
    });
    return true;
}

// The host once the client has gone: its idling without a client and its memory.
// False, with the reason printed, when the host does not end the session.
bool MeasureHostAlone(testsupport::ChildProcess& host, const BenchSettings& settings, HostResults& results)
{
    // The client has gone: wait until the host shows the session closed.
    if (!host.waitForOutput("User:\n", 5s)) {
        Fail("the host did not end the session");
        return false;
    }
    std::this_thread::sleep_for(1s);
    results.idleNoClient = MeasureIdle(host.pid(), settings.idleSeconds, [] { return true; });
    results.rss = StatusKb(host.pid(), "VmRSS");
    results.peak = StatusKb(host.pid(), "VmHWM");
    results.threads = ThreadCount(host.pid());
    return true;
}

void PrintPaths(const BenchSettings& settings, const HostResults& host, const std::optional<PathResult>& bridge,
                const std::optional<PathResult>& direct)
{
    std::printf("Round trip of FA; answered by FA<11 digits>; (%d queries each, after %d to warm up), and\n"
                "%d queries sent back to back (answers per second, answers received)\n",
                settings.queries, kWarmUpQueries, settings.burst);
    std::printf("  %-20s %10s %10s %10s %12s %10s\n", "", "p50 ms", "p99 ms", "max ms", "answers/s", "answers");
    PrintRow("(a) through the host", host.path);
    PrintRow("(b) through ser2net", bridge);
    PrintRow("(c) direct on the pty", direct);
    PrintRatio("host / ser2net", host.path, bridge);
    PrintRatio("host / direct", host.path, direct);
}

void PrintHostIdle(const BenchSettings& settings, const HostResults& host)
{
    const int idleSeconds = settings.idleSeconds;
    std::printf("Host idle for %d s (CPU time, share of one core, context switches of all threads);\n"
                "the logged-in client sends FA; every %d s to stay within the 30 s idle limit\n",
                idleSeconds, static_cast<int>(kKeepAlive.count()));
    const auto idleLine = [&](const char* label, const std::optional<Idle>& idle) {
        if (idle) {
            std::printf("  %-20s %8.3f s  %6.3f %%  %6ld switches (%.2f/s)\n", label, idle->cpuSeconds,
                        100.0 * idle->cpuSeconds / idleSeconds, idle->wakeUps,
                        static_cast<double>(idle->wakeUps) / idleSeconds);
        } else {
            std::printf("  %-20s %8s\n", label, "n/a");
        }
    };
    idleLine("client logged in", host.idleLoggedIn);
    idleLine("no client", host.idleNoClient);
    std::printf("Host memory: resident %ld kB (peak %ld kB), %d threads\n", host.rss.value_or(-1),
                host.peak.value_or(-1), host.threads);
}

// The profile of the host with TLS on: the plain host's, with its own port and radio.
std::filesystem::path WriteTlsProfile(const std::filesystem::path& folder, const std::filesystem::path& plainProfile,
                                      const radiosim::RadioSimulator& radio, unsigned port)
{
    std::filesystem::create_directories(folder / "runtime");
    std::filesystem::copy_file(plainProfile, folder / "Ondrel.ini");
    platform::Profile profile(folder / "Ondrel.ini");
    profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(port));
    profile.WriteProfileInt("Setting", "MIREL TLS", 1);
    profile.WriteProfileString("COM Devices", "COM1", radio.devicePath());
    return folder / "Ondrel.ini";
}

constexpr int kHandshakes = 100;
constexpr int kTurns = 10;

// What (d) measures.
struct TlsResults {
    std::vector<double> handshakes; // microseconds
    int connections = 0;
    std::vector<double> overTls;
    std::vector<double> besideTls;
    Resident tlsHost;
    Resident plainHost;
};

// Handshakes: connect, shake hands, read the greeting, leave. The host listens afresh
// after each session; a connection that came while the last one closed is reset before
// its handshake, as ondrel-client, which tries again, sees it too. False, with the
// reason printed, when too few handshakes succeeded.
bool MeasureHandshakes(unsigned tlsPort, const netport::tls::TlsContext& context, TlsResults& results)
{
    for (; results.handshakes.size() < kHandshakes && results.connections < 3 * kHandshakes; ++results.connections) {
        const testsupport::LoopbackClient client(tlsPort, 5s);
        const auto start = Clock::now();
        TlsSession session(NoDelay(client), context);
        if (!session.valid()) {
            std::this_thread::sleep_for(20ms);
            continue;
        }
        results.handshakes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        std::string greeting;
        session.readUntil(greeting, [](const std::string& text) { return text.find('>') != std::string::npos; });
    }
    if (results.handshakes.size() < kHandshakes) {
        Fail("no TLS handshake with the host");
        return false;
    }
    return true;
}

// Round trips through `first` and `second` in kTurns turns, after kWarmUpQueries each,
// so that both see the same load of the machine; false when either stopped answering.
template <typename AskFirst, typename AskSecond>
bool MeasureInTurns(AskFirst first, AskSecond second, int queries, std::vector<double>& firstTimes,
                    std::vector<double>& secondTimes)
{
    MeasureRoundTrips(kWarmUpQueries, first);
    MeasureRoundTrips(kWarmUpQueries, second);
    for (int turn = 0; turn < kTurns; ++turn) {
        const auto firstTurn = MeasureRoundTrips(queries / kTurns, first);
        const auto secondTurn = MeasureRoundTrips(queries / kTurns, second);
        if (!firstTurn || !secondTurn) {
            return false;
        }
        firstTimes.insert(firstTimes.end(), firstTurn->begin(), firstTurn->end());
        secondTimes.insert(secondTimes.end(), secondTurn->begin(), secondTurn->end());
    }
    return true;
}

// Round trips over TLS and on the logged-in plain client `plainFd`, in turns. False,
// with the reason printed, when no login over TLS succeeded or a host stopped answering.
bool MeasureTlsTurns(unsigned tlsPort, const netport::tls::TlsContext& context, int plainFd,
                     const BenchSettings& settings, TlsResults& results)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const testsupport::LoopbackClient client(tlsPort, 5s);
        TlsSession session(NoDelay(client), context);
        std::string received;
        // Turned away ("BUSY;") or reset while the last handshake's session closes: again.
        const bool loggedIn = session.valid() && session.send("UID:bench;PWD:bench;") &&
                              session.readUntil(received, [](const std::string& text) {
                                  return text.find("@@UE1;") != std::string::npos ||
                                         text.find("BUSY;") != std::string::npos;
                              }) &&
                              received.find("@@UE1;") != std::string::npos;
        if (!loggedIn) {
            std::this_thread::sleep_for(50ms);
            continue;
        }
        if (!MeasureInTurns(AskOver(session), AskOn(plainFd), settings.queries, results.overTls,
                            results.besideTls)) {
            Fail("a host did not answer during the turns");
            return false;
        }
        return true;
    }
    Fail("cannot log in to the host over TLS");
    return false;
}

// What (e) measures: the bare server of ondrel_tls_echo with TLS and on plain TCP.
struct FloorResults {
    std::vector<double> overTls;
    std::vector<double> plain;
    Resident tlsServer;
    Resident plainServer;
};

// Starts ondrel_tls_echo twice, with the TLS host's certificate in `tlsFolder` and
// plain, and measures both in turns. False, with the reason printed, when either did
// not start or answer.
bool MeasureTlsFloor(const std::filesystem::path& tlsFolder, const netport::tls::TlsContext& context,
                     const BenchSettings& settings, FloorResults& results)
{
    const unsigned tlsPort = testsupport::FreeTcpPort();
    StartedProgram tlsServer({ONDREL_TLS_ECHO, std::to_string(tlsPort),
                              (tlsFolder / netport::kDefaultCertificateFileName).string(),
                              (tlsFolder / netport::kDefaultKeyFileName).string()},
                             tlsFolder / "runtime");
    const unsigned plainPort = testsupport::FreeTcpPort();
    StartedProgram plainServer({ONDREL_TLS_ECHO, std::to_string(plainPort)}, tlsFolder / "runtime");
    if (!tlsServer.waitForOutput("listening", 5s) || !plainServer.waitForOutput("listening", 5s)) {
        Fail("ondrel_tls_echo did not start");
        return false;
    }
    const testsupport::LoopbackClient tlsClient(tlsPort, 5s);
    TlsSession session(NoDelay(tlsClient), context);
    const testsupport::LoopbackClient plainClient(plainPort, 5s);
    if (!session.valid() || !plainClient.connected() ||
        !MeasureInTurns(AskOver(session), AskOn(NoDelay(plainClient)), settings.queries, results.overTls,
                        results.plain)) {
        Fail("ondrel_tls_echo did not answer");
        return false;
    }
    results.tlsServer = ReadResident(tlsServer.pid());
    results.plainServer = ReadResident(plainServer.pid());
    return true;
}

void PrintTurnsRow(const char* label, const Summary& times)
{
    std::printf("  %-22s %10.3f %10.3f %10.3f\n", label, times.p50 / 1000, times.p99 / 1000, times.max / 1000);
}

void PrintTurnsRatio(const Summary& tls, const Summary& plain)
{
    std::printf("  %-22s %9.2fx %9.2fx %9.2fx\n", "TLS / plain", tls.p50 / plain.p50, tls.p99 / plain.p99,
                tls.max / plain.max);
}

void PrintTls(const BenchSettings& settings, const TlsResults& results, const FloorResults& floor)
{
    const Summary plain = Summarise(results.besideTls);
    const Summary tls = Summarise(results.overTls);
    const Summary shake = Summarise(results.handshakes);
    std::printf("Through the host with TLS on against the plain host, in %d turns of %d queries each after %d\n"
                "to warm up, both hosts running; %d TLS handshakes in %d connections\n",
                kTurns, settings.queries / kTurns, kWarmUpQueries, kHandshakes, results.connections);
    std::printf("  %-22s %10s %10s %10s\n", "", "p50 ms", "p99 ms", "max ms");
    PrintTurnsRow("(d) round trip, TLS", tls);
    PrintTurnsRow("(a') round trip, plain", plain);
    PrintTurnsRatio(tls, plain);
    PrintTurnsRow("TLS handshake", shake);
    std::printf("Host memory with TLS on: resident %ld kB (peak %ld kB): %ld kB anonymous, %ld kB of files\n"
                "(the plain host now: %ld kB anonymous, %ld kB of files)\n",
                results.tlsHost.all.value_or(-1), results.tlsHost.peak.value_or(-1),
                results.tlsHost.anonymous.value_or(-1), results.tlsHost.files.value_or(-1),
                results.plainHost.anonymous.value_or(-1), results.plainHost.files.value_or(-1));

    const Summary floorTls = Summarise(floor.overTls);
    const Summary floorPlain = Summarise(floor.plain);
    std::printf("The floor: a bare server with the same TLS channel (ondrel_tls_echo) answering FA; at once,\n"
                "in turns against the same server on plain TCP\n");
    PrintTurnsRow("(e) round trip, TLS", floorTls);
    PrintTurnsRow("(e') round trip, plain", floorPlain);
    PrintTurnsRatio(floorTls, floorPlain);
    std::printf("TLS adds at p50: %.3f ms to the bare server, %.3f ms to the host\n",
                (floorTls.p50 - floorPlain.p50) / 1000, (tls.p50 - plain.p50) / 1000);
    std::printf("Bare server memory with TLS: resident %ld kB (%ld kB anonymous, %ld kB of files); plain: %ld kB\n",
                floor.tlsServer.all.value_or(-1), floor.tlsServer.anonymous.value_or(-1),
                floor.tlsServer.files.value_or(-1), floor.plainServer.all.value_or(-1));
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<BenchSettings> settings = ReadSettings(argc, argv);
    if (!settings) {
        std::fputs("usage: ondrel_latency_bench [--queries N] [--burst N] [--idle-seconds S]\n", stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    radiosim::RadioSimulator radio; // model 20, no line pacing
    if (!radio.start()) {
        return Fail(radio.error().c_str());
    }
    const testsupport::TempDir work("ondrel-bench");

    const std::optional<PathResult> direct = MeasureDirect(radio, *settings);
    if (!direct) {
        return 1;
    }
    const std::optional<PathResult> bridge = MeasureSer2net(radio, work, *settings);

    // (a) Through the host.
    const unsigned port = testsupport::FreeTcpPort();
    const auto profilePath = WriteHostProfile(work, radio, port);
    std::filesystem::create_directory(work.path() / "runtime");
    StartedProgram host({ONDREL_PROGRAM, "--headless", "--profile", profilePath.string()}, work.path() / "runtime");
    if (!host.waitForOutput("Service: running", 10s) || !host.waitForOutput("Power: on", 5s)) {
        return Fail("the host did not start");
    }
    HostResults throughHost;
    if (!MeasureHostLoggedIn(host, port, *settings, throughHost) || !MeasureHostAlone(host, *settings, throughHost)) {
        return 1;
    }
    PrintPaths(*settings, throughHost, bridge, direct);
    PrintHostIdle(*settings, throughHost);

    // (d) A second host with TLS on, on a radio of its own, beside the plain one: the two
    // are measured in turns, so that both see the same load of the machine.
    radiosim::RadioSimulator tlsRadio;
    if (!tlsRadio.start()) {
        return Fail(tlsRadio.error().c_str());
    }
    const auto tlsFolder = work.path() / "tls";
    const unsigned tlsPort = testsupport::FreeTcpPort();
    const auto tlsProfilePath = WriteTlsProfile(tlsFolder, profilePath, tlsRadio, tlsPort);
    StartedProgram tlsHost({ONDREL_PROGRAM, "--headless", "--profile", tlsProfilePath.string()},
                           tlsFolder / "runtime");
    if (!tlsHost.waitForOutput("Power: on", 15s)) {
        return Fail("the host with TLS on did not start");
    }
    std::string error;
    const auto tlsContext = netport::tls::TlsContext::ForClient("", error);
    if (tlsContext == nullptr) {
        return Fail(error.c_str());
    }
    TlsResults tls;
    if (!MeasureHandshakes(tlsPort, *tlsContext, tls)) {
        return 1;
    }
    testsupport::LoopbackClient plainClient(port, 5s);
    if (!LogIn(plainClient)) {
        return Fail("cannot log in to the plain host again");
    }
    if (!MeasureTlsTurns(tlsPort, *tlsContext, NoDelay(plainClient), *settings, tls)) {
        return 1;
    }
    tls.tlsHost = ReadResident(tlsHost.pid());
    tls.plainHost = ReadResident(host.pid());
    // (e) The floor under (d).
    FloorResults floor;
    if (!MeasureTlsFloor(tlsFolder, *tlsContext, *settings, floor)) {
        return 1;
    }
    PrintTls(*settings, tls, floor);

    const bool complete =
        throughHost.path && throughHost.path->burst && throughHost.path->burst->answers == settings->burst;
    if (!complete) {
        std::printf("The host lost answers of the back-to-back queries.\n");
    }
    return complete ? 0 : 1;
}
