// SPDX-License-Identifier: GPL-3.0-or-later
// EngineProcess: one run of the SIP engine (baresip) as a child process, driven
// through its control module on a loopback TCP port chosen for this run. Its
// configuration lives in a private folder (mode 0700) that goes with the object.
// The child is the leader of its own process group and dies with the thread that
// started it (parent-death signal), so that no engine outlives its owner, whatever
// ends the owner. The object is used by one thread at a time; its descriptors may be
// polled by another thread while the owner keeps the object alive.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace voxline {

// The engine's program, looked up along PATH; empty when it is not installed.
std::string FindEngine();

struct EngineSetup {
    std::string sipListen;     // "address:port" the engine takes SIP on (UDP and TCP)
    std::string netInterface;  // the one address media and SDP use; empty: any
    std::string audioSource;   // "<module>,<device>", e.g. "alsa,default"
    std::string audioPlayer;
    std::string account;       // the accounts file: one line per account
    std::vector<std::string> modules;     // loaded at start, e.g. "opus"
    std::vector<std::string> extraConfig; // further "key value" lines
    bool sipTrace = false;                // the engine prints every SIP message
    // PEM files of the certificate and its key that the engine presents to callers
    // over SIP/TLS, which it takes on the SIP port + 1. Both empty: it has none, and
    // TLS handshakes with it fail.
    std::string tlsCertificate;
    std::string tlsKey;
};

class EngineProcess {
public:
    // Writes the configuration, starts the engine and connects to its control
    // port, waiting at most `limit` for it to come up. Null with `error` on failure.
    static std::unique_ptr<EngineProcess> Start(const EngineSetup& setup, std::string* error,
                                                std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Stops the engine (stop()).
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The control connection: netstrings both ways (EngineProtocol.h).
    int controlFd() const { return control_; }
    // The engine's standard output and error together (the SIP trace among them).
    int outputFd() const { return output_; }
    // Sends one command; false when the connection is gone.
    bool send(const std::string& command, const std::string& params = {});
    // Ends the engine: SIGTERM to its group, SIGKILL after a short grace, reaped.
    // Removes the configuration folder. Idempotent.
    void stop();
    // Reaps the engine if it has ended; true when it has.
    bool exited();

private:
    EngineProcess() = default;

    pid_t pid_ = -1;
    int control_ = -1;
    int output_ = -1;
    std::string folder_;
    std::mutex reapLock_;
    std::mutex sendLock_;
    bool reaped_ = false;
    unsigned token_ = 0;
};

} // namespace voxline
