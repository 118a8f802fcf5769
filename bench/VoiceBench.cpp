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
// the same round trip through the measuring card alone (the operator's engine looping
// its microphone to its speaker, no call), whose difference is the call's own share,
// and the host engine's CPU time during 5 s of the call. With --ice the operator calls
// as ondrel-client --voice does: the host's ICE account, with ICE of its own.
#include "testsupport/LoopbackClient.h"
#include "testsupport/PipeSoundDevice.h"
#include "voxline/EngineProcess.h"
#include "voxline/EngineProtocol.h"
#include "voxline/HostSetup.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRate = 48000;
constexpr int kBlock = kRate / 50; // 20 ms
constexpr int kClickEvery = 25;    // blocks: one click each 500 ms
constexpr double kClickThreshold = 2000.0; // RMS of a block that holds the click

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

// The operator's sound card: the ALSA device "operator" over two pipes (in ~/.asoundrc
// of `scratch`), fed and read in 20 ms blocks by a thread of its own from start(), once
// the engine that uses it runs, as a card keeps time. A click goes into the microphone
// every 500 ms; the moments each click was written and each came back out of the
// speaker are kept for the round trip.
class OperatorCard {
public:
    explicit OperatorCard(const std::filesystem::path& scratch) : device_(scratch, "operator") {}

    ~OperatorCard() { stop(); }

    OperatorCard(const OperatorCard&) = delete;
    OperatorCard& operator=(const OperatorCard&) = delete;

    void start() { thread_ = std::thread([this] { run(); }); }

    void stop()
    {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Each click that came back against the last one sent before it, in milliseconds,
    // sorted; after stop().
    std::vector<double> roundTrips() const
    {
        std::vector<double> trips;
        for (const auto& back : returned_) {
            const auto before = std::find_if(sent_.rbegin(), sent_.rend(), [&back](const auto& t) { return t <= back; });
            if (before != sent_.rend()) {
                trips.push_back(std::chrono::duration<double, std::milli>(back - *before).count());
            }
        }
        std::sort(trips.begin(), trips.end());
        return trips;
    }

private:
    void run()
    {
        std::array<std::int16_t, kBlock> block{};
        std::array<std::int16_t, kBlock> in{};
        bool inClick = false;
        auto next = Clock::now();
        for (long count = 0; running_; ++count) {
            const bool click = count % kClickEvery == 0;
            for (int i = 0; i < kBlock; ++i) {
                block[static_cast<std::size_t>(i)] =
                    click ? static_cast<std::int16_t>(16000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kRate))
                          : 0;
            }
            if (write(device_.saysFd(), block.data(), sizeof(block)) == static_cast<ssize_t>(sizeof(block)) && click) {
                sent_.push_back(Clock::now());
            }
            const ssize_t got = read(device_.hearsFd(), in.data(), sizeof(in));
            if (got > 0) {
                double energy = 0.0;
                for (ssize_t i = 0; i < got / 2; ++i) {
                    energy += static_cast<double>(in[static_cast<std::size_t>(i)]) * in[static_cast<std::size_t>(i)];
                }
                const bool loud = std::sqrt(energy / static_cast<double>(got / 2)) > kClickThreshold;
                if (loud && !inClick) {
                    returned_.push_back(Clock::now());
                }
                inClick = loud;
            }
            next += 20ms;
            std::this_thread::sleep_until(next);
        }
    }

    testsupport::PipeSoundDevice device_;
    std::atomic<bool> running_{true};
    // The card's thread's alone until stop() has joined it.
    std::vector<Clock::time_point> sent_;
    std::vector<Clock::time_point> returned_;
    std::thread thread_;
};

// The two engines: the host's as the plug-in sets it up, echoing through aubridge, and
// the operator's on the card; with `ice`, the operator's as ondrel-client --voice sets
// it up, for the host's ICE account.
// The operator's engine on the card: ALSA device "operator" both ways, one channel at
// 48 kHz.
voxline::EngineSetup OperatorSetup()
{
    voxline::EngineSetup setup;
    setup.sipListen = "127.0.0.1:0";
    setup.netInterface = "127.0.0.1";
    setup.audioSource = "alsa,operator";
    setup.audioPlayer = "alsa,operator";
    setup.extraConfig = {"ausrc_srate 48000", "auplay_srate 48000", "ausrc_channels 1", "auplay_channels 1"};
    return setup;
}

// The round trips through the card and the operator's engine alone: the engine's audio
// loop (auloop) plays what it records, for 8 s. What the card's pipes and the engine's
// ALSA buffers take, without codecs, network or jitter buffers.
std::vector<double> MeasureCardLoop(const std::filesystem::path& scratch, std::string& error)
{
    OperatorCard card(scratch);
    voxline::EngineSetup setup = OperatorSetup();
    setup.modules = {"alsa", "auloop"};
    setup.account = "<sip:operator@127.0.0.1>;regint=0";
    auto engine = voxline::EngineProcess::Start(setup, &error);
    if (engine == nullptr) {
        return {};
    }
    engine->send("auloop", std::to_string(kRate) + " 1");
    card.start();
    const auto until = Clock::now() + 8s;
    while (Clock::now() < until) {
        // The loop's statistics go to the engine's output, which must not fill up.
        std::array<char, 16384> chunk{};
        while (read(engine->outputFd(), chunk.data(), chunk.size()) > 0) {
        }
        std::this_thread::sleep_for(100ms);
    }
    card.stop();
    return card.roundTrips();
}

struct Engines {
    int voicePort = 0;
    std::unique_ptr<voxline::EngineProcess> host;
    std::unique_ptr<voxline::EngineProcess> caller;
};

std::optional<Engines> StartEngines(bool ice, std::string& error)
{
    Engines engines;
    engines.voicePort = testsupport::FreeSipPort();
    voxline::EngineSetup hostSetup = voxline::HostEngineSetup(engines.voicePort, "echo", false, "127.0.0.1");
    hostSetup.audioSource = "aubridge,echo";
    hostSetup.audioPlayer = "aubridge,echo";
    hostSetup.modules.push_back("aubridge");
    voxline::EngineSetup operatorSetup = OperatorSetup();
    operatorSetup.modules = {"opus", "alsa", "dtls_srtp", "ice"};
    operatorSetup.account = "<sip:operator@127.0.0.1>;regint=0;mediaenc=dtls_srtp;audio_codecs=opus/48000/2" +
                            std::string(ice ? ";medianat=ice" : "");
    operatorSetup.extraConfig.insert(operatorSetup.extraConfig.end(),
                                     {"opus_application voip", "jitter_buffer_delay 1-4"});
    engines.host = voxline::EngineProcess::Start(hostSetup, &error);
    engines.caller = engines.host != nullptr ? voxline::EngineProcess::Start(operatorSetup, &error) : nullptr;
    if (engines.caller == nullptr) {
        return std::nullopt;
    }
    return engines;
}

struct CallFigures {
    double setUpMs = 0;
    double cpuShare = 0; // of one core
};

// Dials the host, accepts the call there as the plug-in does, and measures the set-up
// and the host engine's CPU over 5 s from one second after the audio began; nullopt
// when the call did not come up within 15 s.
std::optional<CallFigures> RunCall(Engines& engines, bool ice)
{
    voxline::NetstringReader hostReader;
    voxline::NetstringReader callerReader;
    const auto dialed = Clock::now();
    const std::string user = ice ? voxline::kIceUser : voxline::kEncryptedUser;
    engines.caller->send("dial", "sip:" + user + "@127.0.0.1:" + std::to_string(engines.voicePort));
    std::optional<Clock::time_point> flowing;
    double cpuStart = 0.0;
    while (Clock::now() - dialed < 15s) {
        std::array<pollfd, 2> fds{{{engines.host->controlFd(), POLLIN, 0}, {engines.caller->controlFd(), POLLIN, 0}}};
        poll(fds.data(), fds.size(), 50);
        for (const auto& event : Events(*engines.host, hostReader)) {
            if (event.type == "CALL_INCOMING") {
                engines.host->send("callfind", event.callId);
                engines.host->send("accept");
            }
        }
        for (const auto& event : Events(*engines.caller, callerReader)) {
            if (event.type == "CALL_RTPESTAB" && !flowing) {
                flowing = Clock::now();
            }
        }
        if (!flowing) {
            continue;
        }
        const auto measureFrom = *flowing + 1s;
        if (cpuStart == 0.0 && Clock::now() >= measureFrom) {
            cpuStart = CpuSeconds(engines.host->pid());
        }
        if (Clock::now() >= measureFrom + 5s) {
            return CallFigures{std::chrono::duration<double, std::milli>(*flowing - dialed).count(),
                               (CpuSeconds(engines.host->pid()) - cpuStart) / 5.0};
        }
    }
    return std::nullopt;
}

double Median(const std::vector<double>& sorted) { return sorted[sorted.size() / 2]; }

void Report(const CallFigures& figures, const std::vector<double>& trips, const std::vector<double>& cardTrips,
            bool ice)
{
    std::printf("Voice call on loopback (Opus, DTLS-SRTP%s; the host's side echoes through aubridge)\n",
                ice ? ", ICE as ondrel-client --voice calls" : "");
    std::printf("  set-up, dial to audio flowing: %.0f ms (target <= 500)\n", figures.setUpMs);
    if (trips.empty()) {
        std::printf("  round trip: no click came back\n");
    } else {
        std::printf("  round trip of audio: median %.0f ms, min %.0f, max %.0f over %zu clicks\n", Median(trips),
                    trips.front(), trips.back(), trips.size());
    }
    if (cardTrips.empty()) {
        std::printf("  the measuring card alone: no click came back\n");
    } else {
        std::printf("  the measuring card alone (the operator's engine looping it): median %.0f ms\n",
                    Median(cardTrips));
    }
    if (!trips.empty() && !cardTrips.empty()) {
        std::printf("  the call's own round trip: %.0f ms (target <= 150)\n", Median(trips) - Median(cardTrips));
    }
    std::printf("  host engine CPU during 5 s of the call: %.1f %% of one core (target <= 5)\n",
                figures.cpuShare * 100.0);
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
    // The operator's engine finds the card's ALSA device in this home's ~/.asoundrc.
    setenv("HOME", scratch.c_str(), 1);
    std::string error;
    const std::vector<double> cardTrips = MeasureCardLoop(scratch, error);
    std::optional<CallFigures> figures;
    std::vector<double> trips;
    bool started = false;
    {
        OperatorCard card(scratch);
        std::optional<Engines> engines = StartEngines(ice, error);
        started = engines.has_value();
        if (started) {
            card.start();
            figures = RunCall(*engines, ice);
        }
        card.stop();
        trips = card.roundTrips();
    }
    std::filesystem::remove_all(scratch);
    if (!started) {
        std::fprintf(stderr, "ondrel_voice_bench: %s\n", error.c_str());
        return 1;
    }
    if (!figures) {
        std::fprintf(stderr, "ondrel_voice_bench: the call did not come up\n");
        return 1;
    }
    Report(*figures, trips, cardTrips, ice);
    return 0;
}
