// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel_voice_bench: the figures of a voice call on loopback through the SIP engine
// as the host's plug-in sets it up (HostEngineSetup), with the host's side echoing
// what it hears (aubridge in place of the radio's sound interface) and an operator's
// engine whose sound device is an ALSA file device over named pipes that this
// program feeds and reads in 20 ms blocks, as a sound card would.
//
// Prints: call set-up from the dial to audio flowing (the operator's engine reports
// the first media packet), the round trip of audio (a click written into the
// operator's microphone until it comes back out of its speaker, median of the clicks),
// and the host engine's CPU time during 5 s of the call. With --ice the operator calls
// as ondrel-client --voice does: the host's ICE account, with ICE of its own.
#include "voxline/EngineProcess.h"
#include "voxline/EngineProtocol.h"
#include "voxline/HostSetup.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <optional>
#include <sstream>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 48000;
constexpr int kBlock = kRate / 50; // 20 ms
constexpr int kClickEvery = 25;    // blocks: one click each 500 ms
constexpr int kPipeSize = 4096;    // the least a pipe holds: 43 ms of audio
constexpr double kClickThreshold = 2000.0; // RMS of a block that holds the click

int FreeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stol(field);
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reads an engine's control stream; returns its events.
std::vector<voxline::EngineMessage> Events(voxline::EngineProcess& engine, voxline::NetstringReader& reader)
{
    std::array<char, 16384> chunk{};
    while (read(engine.outputFd(), chunk.data(), chunk.size()) > 0) {
    }
    std::vector<voxline::EngineMessage> events;
    const ssize_t got = recv(engine.controlFd(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (got > 0) {
        reader.append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    while (const auto payload = reader.next()) {
        if (const auto message = voxline::ParseEngineMessage(*payload); message && message->event) {
            events.push_back(*message);
        }
    }
    return events;
}

} // namespace

int main(int argc, char** argv)
{
    const bool ice = argc == 2 && std::string_view(argv[1]) == "--ice";
    if (argc > 2 || (argc == 2 && !ice)) {
        std::fprintf(stderr, "usage: ondrel_voice_bench [--ice]\n");
        return 2;
    }
    char pattern[] = "/tmp/ondrel-voice-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path scratch = pattern;
    const std::filesystem::path says = scratch / "says.pcm";
    const std::filesystem::path hears = scratch / "hears.pcm";
    mkfifo(says.c_str(), 0600);
    mkfifo(hears.c_str(), 0600);
    const int saysFd = open(says.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    const int hearsFd = open(hears.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    fcntl(saysFd, F_SETPIPE_SZ, kPipeSize);
    fcntl(hearsFd, F_SETPIPE_SZ, kPipeSize);
    std::ofstream(scratch / ".asoundrc") << "pcm.operator {\n type asym\n"
                                         << " playback.pcm { type file; slave.pcm \"null\"; format \"raw\"; file \""
                                         << hears.string() << "\" }\n"
                                         << " capture.pcm { type file; slave.pcm \"null\"; format \"raw\"; file "
                                            "\"/dev/null\"; infile \""
                                         << says.string() << "\" }\n}\n";
    setenv("HOME", scratch.c_str(), 1);

    const int voicePort = FreeUdpPort();
    voxline::EngineSetup hostSetup = voxline::HostEngineSetup(voicePort, "echo", false, "127.0.0.1");
    hostSetup.audioSource = "aubridge,echo";
    hostSetup.audioPlayer = "aubridge,echo";
    hostSetup.modules.push_back("aubridge");
    voxline::EngineSetup operatorSetup;
    operatorSetup.sipListen = "127.0.0.1:0";
    operatorSetup.netInterface = "127.0.0.1";
    operatorSetup.audioSource = "alsa,operator";
    operatorSetup.audioPlayer = "alsa,operator";
    operatorSetup.modules = {"opus", "alsa", "dtls_srtp", "ice"};
    operatorSetup.account = "<sip:operator@127.0.0.1>;regint=0;mediaenc=dtls_srtp;audio_codecs=opus/48000/2" +
                            std::string(ice ? ";medianat=ice" : "");
    operatorSetup.extraConfig = {"ausrc_srate 48000", "auplay_srate 48000", "ausrc_channels 1", "auplay_channels 1",
                                 "opus_application voip", "jitter_buffer_delay 1-4"};
    std::string error;
    auto host = voxline::EngineProcess::Start(hostSetup, &error);
    auto caller = host != nullptr ? voxline::EngineProcess::Start(operatorSetup, &error) : nullptr;
    if (caller == nullptr) {
        std::fprintf(stderr, "ondrel_voice_bench: %s\n", error.c_str());
        std::filesystem::remove_all(scratch);
        return 1;
    }
    voxline::NetstringReader hostReader;
    voxline::NetstringReader callerReader;

    // The operator's sound card, on its own thread.
    std::atomic<bool> running{true};
    std::vector<Clock::time_point> sent;
    std::vector<Clock::time_point> returned;
    std::thread card([&] {
        std::array<std::int16_t, kBlock> block{};
        std::array<std::int16_t, kBlock> in{};
        bool inClick = false;
        auto next = Clock::now();
        for (long count = 0; running; ++count) {
            const bool click = count % kClickEvery == 0;
            for (int i = 0; i < kBlock; ++i) {
                block[static_cast<std::size_t>(i)] =
                    click ? static_cast<std::int16_t>(16000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kRate))
                          : 0;
            }
            if (write(saysFd, block.data(), sizeof(block)) == static_cast<ssize_t>(sizeof(block)) && click) {
                sent.push_back(Clock::now());
            }
            const ssize_t got = read(hearsFd, in.data(), sizeof(in));
            if (got > 0) {
                double energy = 0.0;
                for (ssize_t i = 0; i < got / 2; ++i) {
                    energy += static_cast<double>(in[static_cast<std::size_t>(i)]) * in[static_cast<std::size_t>(i)];
                }
                const bool loud = std::sqrt(energy / static_cast<double>(got / 2)) > kClickThreshold;
                if (loud && !inClick) {
                    returned.push_back(Clock::now());
                }
                inClick = loud;
            }
            next += 20ms;
            std::this_thread::sleep_until(next);
        }
    });

    const auto dialed = Clock::now();
    const std::string user = ice ? voxline::kIceUser : voxline::kEncryptedUser;
    caller->send("dial", "sip:" + user + "@127.0.0.1:" + std::to_string(voicePort));
    std::optional<Clock::time_point> flowing;
    double cpuStart = 0.0;
    std::optional<Clock::time_point> measureFrom;
    double cpu = -1.0;
    while (Clock::now() - dialed < 15s) {
        std::array<pollfd, 2> fds{{{host->controlFd(), POLLIN, 0}, {caller->controlFd(), POLLIN, 0}}};
        poll(fds.data(), fds.size(), 50);
        for (const auto& event : Events(*host, hostReader)) {
            // What the plug-in does on the host's word.
            if (event.type == "CALL_INCOMING") {
                host->send("callfind", event.callId);
                host->send("accept");
            }
        }
        for (const auto& event : Events(*caller, callerReader)) {
            if (event.type == "CALL_RTPESTAB" && !flowing) {
                flowing = Clock::now();
                measureFrom = *flowing + 1s;
            }
        }
        if (measureFrom && cpuStart == 0.0 && Clock::now() >= *measureFrom) {
            cpuStart = CpuSeconds(host->pid());
        }
        if (measureFrom && Clock::now() >= *measureFrom + 5s) {
            cpu = CpuSeconds(host->pid()) - cpuStart;
            break;
        }
    }
    running = false;
    card.join();
    caller.reset();
    host.reset();
    close(saysFd);
    close(hearsFd);
    std::filesystem::remove_all(scratch);

    if (!flowing || cpu < 0.0) {
        std::fprintf(stderr, "ondrel_voice_bench: the call did not come up\n");
        return 1;
    }
    // Each click that came back, against the last one sent before it.
    std::vector<double> trips;
    for (const auto& back : returned) {
        const auto before = std::find_if(sent.rbegin(), sent.rend(), [&back](const auto& t) { return t <= back; });
        if (before != sent.rend()) {
            trips.push_back(std::chrono::duration<double, std::milli>(back - *before).count());
        }
    }
    std::sort(trips.begin(), trips.end());
    std::printf("Voice call on loopback (Opus, DTLS-SRTP%s; the host's side echoes through aubridge)\n",
                ice ? ", ICE as ondrel-client --voice calls" : "");
    std::printf("  set-up, dial to audio flowing: %.0f ms (target <= 500)\n",
                std::chrono::duration<double, std::milli>(*flowing - dialed).count());
    if (trips.empty()) {
        std::printf("  round trip: no click came back\n");
    } else {
        std::printf("  round trip of audio: median %.0f ms, min %.0f, max %.0f over %zu clicks (target <= 150;\n"
                    "    includes up to 2 x 43 ms in the measuring sound card's pipes)\n",
                    trips[trips.size() / 2], trips.front(), trips.back(), trips.size());
    }
    std::printf("  host engine CPU during 5 s of the call: %.1f %% of one core (target <= 5)\n", cpu / 5.0 * 100.0);
    return 0;
}
