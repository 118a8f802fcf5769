// SPDX-License-Identifier: GPL-3.0-or-later
// Test support for calls through the real SIP engine: a caller (its own engine, a
// sine tone as its voice, what it hears dumped to a WAV file), the radio's sound
// interface (an ALSA file device over named pipes, paced by the test), and a
// Goertzel check of a tone in recorded samples.
#pragma once

#include "testsupport/PipeSoundDevice.h"
#include "voxline/EngineProcess.h"
#include "voxline/EngineProtocol.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voicetest {

inline constexpr int kSampleRate = 48000;

// The share of `samples`' energy at `frequency` (0..1), over the strongest of the
// 100 ms windows that are not silent; 0 when all are.
double ToneShare(const std::vector<std::int16_t>& samples, double frequency, int rate = kSampleRate);

// The first channel of a 16-bit PCM WAV file; empty when it is none.
std::vector<std::int16_t> ReadWav(const std::filesystem::path& file);

// How a caller offers its media.
enum class CallerMedia { Encrypted, PlainOnly };
// Whether it finds its media path with ICE, as ondrel-client --voice does.
enum class CallerIce { Off, On };

// A caller on `address` (127.0.0.x), sending a `toneHz` sine over Opus (encrypted
// with DTLS-SRTP unless `media` says otherwise), and writing what it receives to
// "*-dec.wav" in `folder`.
class EngineCaller {
public:
    EngineCaller(const std::string& address, int toneHz, const std::filesystem::path& folder,
                 CallerMedia media = CallerMedia::Encrypted, CallerIce ice = CallerIce::Off);
    ~EngineCaller();

    bool started() const { return engine_ != nullptr; }
    const std::string& error() const { return error_; }
    pid_t pid() const { return engine_ != nullptr ? engine_->pid() : -1; }
    void dial(const std::string& uri);
    void hangUp();
    // Waits (bounded) for an event of `type`, for any call; true when it came.
    // Events are kept, so a later wait finds earlier ones too.
    bool waitFor(const std::string& type, std::chrono::milliseconds limit = std::chrono::seconds(8));
    int count(const std::string& type);
    // The events so far, "TYPE param" a line: for failure messages.
    std::string journal() const;
    // Polls the engine briefly and notes what came.
    void drain(std::chrono::milliseconds limit);
    // The samples received so far (the newest dump).
    std::vector<std::int16_t> heard() const;

private:
    std::unique_ptr<voxline::EngineProcess> engine_;
    std::string error_;
    std::filesystem::path folder_;
    voxline::NetstringReader reader_;
    std::vector<voxline::EngineMessage> events_;
};

// The radio's sound interface, seen by the host's engine as the ALSA device "radio"
// that ~/.asoundrc (in `home`) defines: what the engine plays goes into one named
// pipe, what it records comes from another. A thread of the object reads and writes
// them at the pace of a real sound card (20 ms blocks), since the ALSA null device
// under the file device keeps no time of its own.
class RadioSoundCard {
public:
    RadioSoundCard(const std::filesystem::path& home, int toneHz);
    ~RadioSoundCard();
    std::vector<std::int16_t> heard();

private:
    void run();

    testsupport::PipeSoundDevice device_;
    int toneHz_;
    std::atomic<bool> running_{true};
    std::mutex lock_;
    std::vector<std::int16_t> heard_;
    std::thread thread_;
};

// A caller behind a home router, as far as loopback can show one: a relay of the
// caller's SIP over TCP to the host's engine that writes `namedAddress` in place of
// the caller's `address` in the SDP it carries to the host (its connection, origin
// and candidate lines), as a router's private side names an address the host cannot
// reach, while the media still comes from the caller's real address. The two
// addresses are of one length, so that Content-Length holds. One connection; its
// thread is owned, woken by an eventfd and joined.
class NattedSignalling {
public:
    NattedSignalling(int hostPort, std::string address, std::string namedAddress);
    ~NattedSignalling();
    NattedSignalling(const NattedSignalling&) = delete;
    NattedSignalling& operator=(const NattedSignalling&) = delete;

    bool started() const { return thread_.joinable(); }
    // The port the caller dials instead of the host's.
    int port() const { return port_; }
    // SDP lines rewritten so far.
    int rewrittenLines() const { return rewritten_.load(); }

private:
    void run();
    // The complete lines of `pending`, rewritten where they are SDP that names the
    // caller; what follows the last line break stays pending.
    std::string takeLines(std::string& pending);

    int hostPort_;
    std::string address_;
    std::string namedAddress_;
    int listener_ = -1;
    int port_ = 0;
    int stop_ = -1;
    std::atomic<int> rewritten_{0};
    std::thread thread_;
};

} // namespace voicetest
