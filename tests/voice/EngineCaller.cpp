// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineCaller.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace voicetest {
namespace {

constexpr int kBlockSamples = kSampleRate / 50; // 20 ms
constexpr std::size_t kWindow = kSampleRate / 10; // 100 ms
// Below this mean square a window is silence (full scale is 32767^2).
constexpr double kSilence = 1.0e4;

} // namespace

double ToneShare(const std::vector<std::int16_t>& samples, double frequency, int rate)
{
    double best = 0.0;
    for (std::size_t start = 0; start + kWindow <= samples.size(); start += kWindow) {
        const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
        double previous = 0.0;
        double beforePrevious = 0.0;
        double energy = 0.0;
        for (std::size_t i = start; i < start + kWindow; ++i) {
            const double x = samples[i];
            energy += x * x;
            const double current = x + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
        }
        if (energy / kWindow < kSilence) {
            continue;
        }
        const double power = previous * previous + beforePrevious * beforePrevious -
                             coefficient * previous * beforePrevious;
        // A pure tone in the window gives power = energy * N / 2.
        best = std::max(best, power / (energy * kWindow / 2.0));
    }
    return best;
}

std::vector<std::int16_t> ReadWav(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) {
        return {};
    }
    const auto u32 = [&data](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, data.data() + at, sizeof(v));
        return v;
    };
    int channels = 1;
    std::size_t at = 12;
    while (at + 8 <= data.size()) {
        const std::string id = data.substr(at, 4);
        const std::size_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 4 <= data.size()) {
            channels = static_cast<unsigned char>(data[body + 2]);
        } else if (id == "data") {
            // A file still being written claims no data yet, or more than it holds.
            const std::size_t length = size == 0 ? data.size() - body : std::min(size, data.size() - body);
            std::vector<std::int16_t> samples;
            for (std::size_t i = body; i + 2 * static_cast<std::size_t>(channels) <= body + length;
                 i += 2 * static_cast<std::size_t>(channels)) {
                std::int16_t s = 0;
                std::memcpy(&s, data.data() + i, sizeof(s));
                samples.push_back(s);
            }
            return samples;
        }
        at = body + size + (size & 1U);
    }
    return {};
}

EngineCaller::EngineCaller(const std::string& address, int toneHz, const std::filesystem::path& folder,
                           CallerMedia media, CallerIce ice)
    : folder_(folder)
{
    voxline::EngineSetup setup;
    setup.sipListen = address + ":0";
    setup.netInterface = address;
    setup.audioSource = "ausine," + std::to_string(toneHz);
    setup.audioPlayer = "aubridge,caller";
    setup.modules = {"opus", "ausine", "aubridge", "sndfile", "dtls_srtp", "ice"};
    setup.account = "<sip:caller@" + address + ">;regint=0;audio_codecs=opus/48000/2" +
                    (media == CallerMedia::Encrypted ? ";mediaenc=dtls_srtp" : "") +
                    (ice == CallerIce::On ? ";medianat=ice" : "");
    // The sine source makes two channels only.
    setup.extraConfig = {"snd_path " + folder.string(), "ausrc_channels 2", "auplay_channels 1",
                         "ausrc_srate 48000", "auplay_srate 48000"};
    // A loaded machine (the suite runs in parallel) can take seconds to start it.
    engine_ = voxline::EngineProcess::Start(setup, &error_, std::chrono::seconds(30));
}

EngineCaller::~EngineCaller() = default;

void EngineCaller::dial(const std::string& uri) { engine_->send("dial", uri); }

void EngineCaller::hangUp() { engine_->send("hangup"); }

void EngineCaller::drain(std::chrono::milliseconds limit)
{
    pollfd fd{engine_->controlFd(), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(limit.count())) <= 0) {
        return;
    }
    std::array<char, 16384> chunk{};
    const ssize_t got = read(engine_->controlFd(), chunk.data(), chunk.size());
    if (got > 0) {
        reader_.append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    // The caller's engine writes its own output; it is read only so that it never blocks.
    std::array<char, 65536> output{};
    while (read(engine_->outputFd(), output.data(), output.size()) > 0) {
    }
    while (const std::optional<std::string> payload = reader_.next()) {
        if (const std::optional<voxline::EngineMessage> message = voxline::ParseEngineMessage(*payload)) {
            if (message->event) {
                events_.push_back(*message);
            }
        }
    }
}

int EngineCaller::count(const std::string& type)
{
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [&type](const voxline::EngineMessage& m) { return m.type == type; }));
}

std::string EngineCaller::journal() const
{
    std::string text;
    for (const voxline::EngineMessage& message : events_) {
        text += message.type + " " + message.param + "\n";
    }
    return text;
}

bool EngineCaller::waitFor(const std::string& type, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (count(type) == 0 && std::chrono::steady_clock::now() < deadline) {
        drain(std::chrono::milliseconds(20));
    }
    return count(type) > 0;
}

std::vector<std::int16_t> EngineCaller::heard() const
{
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 8 && name.ends_with("-dec.wav") && entry.path() > newest) {
            newest = entry.path();
        }
    }
    return newest.empty() ? std::vector<std::int16_t>() : ReadWav(newest);
}

RadioSoundCard::RadioSoundCard(const std::filesystem::path& home, int toneHz)
    : device_(home, "radio"), toneHz_(toneHz)
{
    thread_ = std::thread([this] { run(); });
}

RadioSoundCard::~RadioSoundCard()
{
    running_ = false;
    thread_.join();
}

std::vector<std::int16_t> RadioSoundCard::heard()
{
    std::lock_guard<std::mutex> guard(lock_);
    return heard_;
}

void RadioSoundCard::run()
{
    std::array<std::int16_t, kBlockSamples> block{};
    long phase = 0;
    auto next = std::chrono::steady_clock::now();
    while (running_) {
        for (std::int16_t& sample : block) {
            sample = static_cast<std::int16_t>(
                8000.0 * std::sin(2.0 * std::numbers::pi * toneHz_ * static_cast<double>(phase++) / kSampleRate));
        }
        // A full pipe means the engine is not recording now; the block is dropped.
        [[maybe_unused]] const ssize_t written = write(device_.saysFd(), block.data(), sizeof(block));
        std::array<std::int16_t, kBlockSamples> in{};
        const ssize_t got = read(device_.hearsFd(), in.data(), sizeof(in));
        if (got > 0) {
            std::lock_guard<std::mutex> guard(lock_);
            heard_.insert(heard_.end(), in.begin(), in.begin() + got / 2);
        }
        next += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(next);
    }
}

NattedSignalling::NattedSignalling(int hostPort, std::string address, std::string namedAddress)
    : hostPort_(hostPort), address_(std::move(address)), namedAddress_(std::move(namedAddress))
{
    if (address_.size() != namedAddress_.size()) {
        return;
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(local);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(listener_, 1) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return;
    }
    port_ = ntohs(local.sin_port);
    stop_ = eventfd(0, EFD_CLOEXEC);
    if (stop_ >= 0) {
        thread_ = std::thread([this] { run(); });
    }
}

NattedSignalling::~NattedSignalling()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof(one));
        thread_.join();
    }
    for (const int fd : {listener_, stop_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::string NattedSignalling::takeLines(std::string& pending)
{
    std::string out;
    std::size_t start = 0;
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
        std::string line = pending.substr(start, end + 1 - start);
        start = end + 1;
        const bool namesCaller = line.starts_with("c=") || line.starts_with("o=") || line.starts_with("a=candidate");
        if (const std::size_t at = line.find(address_); namesCaller && at != std::string::npos) {
            line.replace(at, address_.size(), namedAddress_);
            ++rewritten_;
        }
        out += line;
    }
    pending.erase(0, start);
    return out;
}

void NattedSignalling::run()
{
    pollfd waiting[] = {{listener_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (poll(waiting, 2, -1) <= 0 || waiting[1].revents != 0) {
        return;
    }
    const int caller = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    const int host = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(hostPort_));
    if (caller >= 0 && host >= 0 && connect(host, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) {
        std::string pending;
        std::array<char, 8192> chunk{};
        for (bool open = true; open;) {
            pollfd fds[] = {{caller, POLLIN, 0}, {host, POLLIN, 0}, {stop_, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0 || fds[2].revents != 0) {
                break;
            }
            for (int side = 0; side < 2 && open; ++side) {
                if (fds[side].revents == 0) {
                    continue;
                }
                const ssize_t got = read(fds[side].fd, chunk.data(), chunk.size());
                if (got <= 0) {
                    open = false;
                    break;
                }
                std::string text(chunk.data(), static_cast<std::size_t>(got));
                if (side == 0) {
                    pending += text;
                    text = takeLines(pending);
                }
                // Blocking writes of a few kilobytes to a loopback peer that reads.
                open = send(fds[1 - side].fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
            }
        }
    }
    for (const int fd : {caller, host}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

} // namespace voicetest
