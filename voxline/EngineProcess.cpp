// SPDX-License-Identifier: GPL-3.0-or-later
#include "voxline/EngineProcess.h"

#include "voxline/EngineProtocol.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace voxline {
namespace {

constexpr const char* kEngineName = "baresip";
constexpr const char* kModulePath = "/usr/lib/baresip/modules";
// How long a stopping engine may take to hang up its calls before it is killed.
constexpr std::chrono::milliseconds kStopGrace{1500};
constexpr std::chrono::milliseconds kPollStep{10};

// A free TCP port on the loopback address for the control module, chosen below the
// range the kernel hands out for port 0: a SIP engine started beside this one (the
// operator's, say) listens on such a port, and had it been given this one between
// the check here and the engine's own listen, the control connection would reach
// that engine's SIP listener instead, and hear nothing. Another program could still
// take the port on purpose; the engine's start then fails.
sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

int FreeLoopbackPort()
{
    constexpr int kFirst = 16384;
    constexpr int kCount = 3616; // up to 19999
    std::mt19937 random(std::random_device{}());
    const int start = static_cast<int>(random() % kCount);
    for (int step = 0; step < kCount; ++step) {
        const int port = kFirst + (start + step) % kCount;
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        const sockaddr_in address = LoopbackAddress(port);
        const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        close(fd);
        if (free) {
            return port;
        }
    }
    return -1;
}

int ConnectLoopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The engine reads the certificate and its key from one file.
constexpr const char* kTlsIdentityFile = "sip-tls.pem";

std::string ConfigText(const EngineSetup& setup, const std::string& folder, int controlPort)
{
    std::string text;
    const auto line = [&text](const std::string& key, const std::string& value) {
        text += key;
        text += ' ';
        text += value;
        text += '\n';
    };
    line("poll_method", "epoll");
    line("sip_listen", setup.sipListen);
    if (!setup.netInterface.empty()) {
        line("net_interface", setup.netInterface);
    }
    line("audio_source", setup.audioSource);
    line("audio_player", setup.audioPlayer);
    line("audio_alert", setup.audioPlayer);
    line("module_path", kModulePath);
    for (const std::string& module : setup.modules) {
        line("module", module + ".so");
    }
    line("module_tmp", "account.so");
    line("module_app", "menu.so");
    line("module_app", "ctrl_tcp.so");
    // Loopback only: anyone who reaches this port commands the engine.
    line("ctrl_tcp_listen", "127.0.0.1:" + std::to_string(controlPort));
    if (!setup.tlsCertificate.empty()) {
        line("sip_certificate", folder + "/" + kTlsIdentityFile);
    }
    for (const std::string& extra : setup.extraConfig) {
        text += extra;
        text += '\n';
    }
    return text;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

// The certificate and then the key, in one file only its owner may read (it holds
// the private key, copied from a file that is itself the owner's alone).
bool WriteTlsIdentity(const std::filesystem::path& path, const EngineSetup& setup)
{
    std::string text;
    for (const std::string& part : {setup.tlsCertificate, setup.tlsKey}) {
        std::ifstream file(part, std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        if (!file || content.str().empty()) {
            return false;
        }
        text += content.str();
        if (text.back() != '\n') {
            text += '\n';
        }
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    return close(fd) == 0 && written == text.size();
}

} // namespace

std::string FindEngine()
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const std::string candidate = std::string(folder) + "/" + kEngineName;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            break;
        }
        folders.remove_prefix(colon + 1);
    }
    return {};
}

std::unique_ptr<EngineProcess> EngineProcess::Start(const EngineSetup& setup, std::string* error,
                                                    std::chrono::milliseconds limit)
{
    const auto fail = [error](std::string what) -> std::unique_ptr<EngineProcess> {
        if (error != nullptr) {
            *error = std::move(what);
        }
        return nullptr;
    };
    const std::string program = FindEngine();
    if (program.empty()) {
        return fail("the SIP engine (baresip) is not installed");
    }
    std::unique_ptr<EngineProcess> engine(new EngineProcess());

    // mkdtemp makes the folder 0700: the accounts and the control port stay ours.
    std::error_code ignored;
    std::string pattern = (std::filesystem::temp_directory_path(ignored) / "voxline-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return fail(std::string("cannot make the engine's folder: ") + std::strerror(errno));
    }
    engine->folder_ = pattern;
    const int controlPort = FreeLoopbackPort();
    if (controlPort <= 0 || !WriteFile(engine->folder_ + "/config", ConfigText(setup, engine->folder_, controlPort)) ||
        !WriteFile(engine->folder_ + "/accounts", setup.account + "\n")) {
        return fail("cannot write the engine's configuration");
    }
    if (!setup.tlsCertificate.empty() && !WriteTlsIdentity(engine->folder_ + "/" + kTlsIdentityFile, setup)) {
        return fail("cannot read the TLS certificate " + setup.tlsCertificate + " and its key " + setup.tlsKey);
    }

    std::array<int, 2> output{};
    if (pipe2(output.data(), O_CLOEXEC) != 0) {
        return fail("cannot make a pipe");
    }
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    // Everything the child needs is made before fork: after it, in a process with
    // threads, only async-signal-safe calls are allowed.
    std::vector<std::string> arguments{program, "-f", engine->folder_};
    if (setup.sipTrace) {
        arguments.emplace_back("-s");
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the line above took effect.
        if (getppid() != parent) {
            _exit(127);
        }
        // Blocked or ignored signals would survive exec; the engine wants SIGTERM.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        dup2(devNull, STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    if (devNull >= 0) {
        close(devNull);
    }
    if (pid < 0) {
        close(output[0]);
        return fail("cannot start the engine");
    }
    engine->pid_ = pid;
    // Also from here, so that the group exists whichever process runs first.
    setpgid(pid, pid);
    engine->output_ = output[0];
    fcntl(engine->output_, F_SETFL, fcntl(engine->output_, F_GETFL) | O_NONBLOCK);

    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        engine->control_ = ConnectLoopback(controlPort);
        if (engine->control_ >= 0 || engine->exited()) {
            break;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    if (engine->control_ < 0) {
        std::string output;
        std::array<char, 4096> chunk{};
        const ssize_t got = read(engine->output_, chunk.data(), chunk.size());
        if (got > 0) {
            output.assign(chunk.data(), static_cast<std::size_t>(got));
        }
        engine->stop();
        return fail("the engine did not come up" + (output.empty() ? std::string() : ": " + output));
    }
    return engine;
}

EngineProcess::~EngineProcess() { stop(); }

bool EngineProcess::send(const std::string& command, const std::string& params)
{
    std::lock_guard<std::mutex> lock(sendLock_);
    if (control_ < 0) {
        return false;
    }
    const std::string frame = EncodeCommand(command, params, std::to_string(++token_));
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(control_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool EngineProcess::exited()
{
    std::lock_guard<std::mutex> lock(reapLock_);
    if (!reaped_ && pid_ > 0) {
        int status = 0;
        reaped_ = waitpid(pid_, &status, WNOHANG) == pid_;
    }
    return reaped_;
}

void EngineProcess::stop()
{
    if (pid_ > 0 && !exited()) {
        kill(-pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
        while (!exited() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kPollStep);
        }
        std::lock_guard<std::mutex> lock(reapLock_);
        if (!reaped_) {
            kill(-pid_, SIGKILL);
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
        }
    }
    {
        std::lock_guard<std::mutex> lock(sendLock_);
        if (control_ >= 0) {
            close(control_);
            control_ = -1;
        }
    }
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        folder_.clear();
    }
}

} // namespace voxline
