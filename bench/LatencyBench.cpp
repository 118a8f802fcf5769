// ondrel_latency_bench: the round-trip time of a radio query ("FA;" answered by
// "FA<11 digits>;") directly on the simulated radio's pseudo-terminal and through the
// host (TCP client, host, radio, host, client), and the host's CPU time while idle.
// The radio is simulated in this process; the host is the real `ondrel --headless`
// program in a child process with a profile of its own.
//   ondrel_latency_bench [--queries N] [--idle-seconds S]
#include "platform/Profile.h"
#include "tools/radiosim/RadioSimulator.h"

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

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWarmUpQueries = 50;
constexpr auto kReplyLimit = 2s;

// A descriptor closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == ENOTSOCK) {
            const ssize_t written = ::write(fd, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

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

// Sends "FA;" `count` times, one at a time, and returns each round trip in microseconds.
std::optional<std::vector<double>> MeasureQueries(int fd, int count)
{
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string received;
        const auto start = Clock::now();
        if (!WriteAll(fd, "FA;") || !ReadUntil(fd, received, HasFrequencyReply, kReplyLimit)) {
            return std::nullopt;
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
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

// Opens the radio's device as a serial port in raw mode.
int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int ConnectLoopback(unsigned port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

unsigned FreePort()
{
    const Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

// The host program in a child process, its standard output on a pipe.
class HostProcess {
public:
    HostProcess(const std::filesystem::path& profile, const std::filesystem::path& runtime)
    {
        int out[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text = *entry;
            if (!text.starts_with("XDG_RUNTIME_DIR=") && !text.starts_with("ONDREL_PROFILE=")) {
                environment.emplace_back(text);
            }
        }
        environment.push_back("XDG_RUNTIME_DIR=" + runtime.string());
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string program = ONDREL_PROGRAM;
        std::string headless = "--headless";
        std::string option = "--profile";
        std::string file = profile.string();
        char* argv[] = {program.data(), headless.data(), option.data(), file.data(), nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }

    ~HostProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            const auto deadline = Clock::now() + 15s;
            int status = 0;
            while (::waitpid(pid_, &status, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    ::kill(pid_, SIGKILL);
                    ::waitpid(pid_, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Waits for a status line containing `text` (reading everything printed so far).
    bool waitForLine(std::string_view text, std::chrono::milliseconds limit)
    {
        return ReadUntil(
            out_, output_, [&](const std::string& all) { return all.find(text) != std::string::npos; }, limit);
    }

    // User plus system CPU time of the host so far, in seconds.
    std::optional<double> cpuSeconds() const
    {
        const std::string path = "/proc/" + std::to_string(pid_) + "/stat";
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

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// The host's CPU time over `seconds` of idling.
std::optional<double> IdleCpu(const HostProcess& host, int seconds)
{
    const auto before = host.cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const auto after = host.cpuSeconds();
    if (!before || !after) {
        return std::nullopt;
    }
    return *after - *before;
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

// A temporary folder removed with its contents.
class WorkDir {
public:
    WorkDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ondrel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~WorkDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace

int main(int argc, char** argv)
{
    int queries = 3000;
    int idleSeconds = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--queries" && i + 1 < argc && ParseCount(argv[i + 1], 10, 1'000'000, queries)) {
            ++i;
        } else if (option == "--idle-seconds" && i + 1 < argc && ParseCount(argv[i + 1], 1, 3600, idleSeconds)) {
            ++i;
        } else {
            std::fputs("usage: ondrel_latency_bench [--queries N] [--idle-seconds S]\n", stderr);
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);

    radiosim::RadioSimulator radio; // model 20, no line pacing
    if (!radio.start()) {
        return Fail(radio.error().c_str());
    }

    // Directly on the radio's device, as the host's serial port would talk to it.
    std::vector<double> direct;
    {
        const Descriptor device(OpenRaw(radio.devicePath()));
        if (device.get() < 0) {
            return Fail("cannot open the radio's device");
        }
        const auto warmUp = MeasureQueries(device.get(), kWarmUpQueries);
        const auto measured = MeasureQueries(device.get(), queries);
        if (!warmUp || !measured) {
            return Fail("the radio did not answer on its device");
        }
        direct = *measured;
    }

    // Through the host: a profile with one user and COM1 on the radio's device.
    const WorkDir work;
    if (work.path().empty()) {
        return Fail("cannot make a temporary folder");
    }
    const unsigned port = FreePort();
    const auto profilePath = work.path() / "Ondrel.ini";
    platform::Profile profile(profilePath);
    profile.WriteProfileString("COM Devices", "COM1", radio.devicePath());
    profile.WriteProfileInt("Setting", "COM Port", 1);
    profile.WriteProfileInt("Setting", "MIREL IP Port No", static_cast<int>(port));
    profile.WriteProfileString("Setting", "MIREL 000 User ID", "bench");
    profile.WriteProfileString("Setting", "MIREL 000 Password", "bench");

    HostProcess host(profilePath, work.path() / "runtime");
    if (!host.started() || !host.waitForLine("Service: running", 10s) || !host.waitForLine("Power: on", 5s)) {
        return Fail("the host did not start");
    }
    std::vector<double> throughHost;
    std::optional<double> idleLoggedIn;
    {
        const Descriptor client(ConnectLoopback(port));
        std::string received;
        if (client.get() < 0 || !WriteAll(client.get(), "UID:bench;PWD:bench;") ||
            !ReadUntil(
                client.get(), received,
                [](const std::string& text) { return text.find("@@UE1;") != std::string::npos; }, 5s)) {
            return Fail("cannot log in to the host");
        }
        const auto warmUp = MeasureQueries(client.get(), kWarmUpQueries);
        const auto measured = MeasureQueries(client.get(), queries);
        if (!warmUp || !measured) {
            return Fail("the host did not relay the radio's answers");
        }
        throughHost = *measured;
        idleLoggedIn = IdleCpu(host, idleSeconds);
    }
    // The client has gone: wait until the host shows the session closed.
    if (!host.waitForLine("User:\n", 5s)) {
        return Fail("the host did not end the session");
    }
    const std::optional<double> idleNoClient = IdleCpu(host, idleSeconds);

    const Summary d = Summarise(direct);
    const Summary h = Summarise(throughHost);
    std::printf("Round trip of FA; answered by FA<11 digits>; (%d queries each, after %d to warm up)\n", queries,
                kWarmUpQueries);
    std::printf("  %-22s %10s %10s %10s\n", "", "p50 ms", "p99 ms", "max ms");
    std::printf("  %-22s %10.3f %10.3f %10.3f\n", "direct on the pty", d.p50 / 1000, d.p99 / 1000, d.max / 1000);
    std::printf("  %-22s %10.3f %10.3f %10.3f\n", "through the host", h.p50 / 1000, h.p99 / 1000, h.max / 1000);
    std::printf("  %-22s %9.1fx %9.1fx %9.1fx\n", "host / direct", h.p50 / d.p50, h.p99 / d.p99, h.max / d.max);
    std::printf("Host CPU time while idle for %d s\n", idleSeconds);
    const auto cpuLine = [&](const char* label, const std::optional<double>& seconds) {
        if (seconds) {
            std::printf("  %-22s %8.3f s  (%.2f %% of one core)\n", label, *seconds, 100.0 * *seconds / idleSeconds);
        } else {
            std::printf("  %-22s %8s\n", label, "n/a");
        }
    };
    cpuLine("client logged in", idleLoggedIn);
    cpuLine("no client", idleNoClient);
    return 0;
}
