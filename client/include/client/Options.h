// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of ondrel-client and the exit statuses it documents.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace client {

// Exit statuses, one per outcome, as the manual page lists them.
enum ExitStatus : int {
    kExitOk = 0,             // done: commands answered, console left, relay stopped
    kExitFailure = 1,        // a local failure (terminal, pseudo-terminal, socket)
    kExitUsage = 2,          // a wrong command line, or no usable password
    kExitUnreachable = 3,    // the host cannot be reached or does not answer
    kExitBusy = 4,           // another operator is logged in ("BUSY;")
    kExitRefused = 5,        // wrong user ID or password
    kExitDisabled = 6,       // the user is disabled on the host
    kExitLoginTimeout = 7,   // the host closed the login after 30 s ("Login timeout.")
    kExitProtocol = 8,       // the host's answers are not this protocol's
    kExitSessionEnded = 9,   // the host ended the session before the commands were done
    kExitCertificateChanged = 10, // TLS: the certificate differs from known_hosts or --fingerprint
    kExitUntrusted = 11,     // TLS: a new host not accepted, or one the --ca authority does not vouch for
};

struct Options {
    std::string host;
    std::string port = "50000";
    std::string user;
    std::string passwordFile;
    std::vector<std::string> commands; // -c: one-shot mode
    std::chrono::milliseconds quiet{300};
    std::chrono::milliseconds timeout{10000};
    std::string ptyPath;               // --pty
    std::optional<unsigned> listenPort; // --listen
    std::string listenAddress = "127.0.0.1";
    bool tls = false;          // --tls (implied by --fingerprint and --ca)
    std::string fingerprint;   // --fingerprint, canonical form
    std::string caFile;        // --ca
    bool trustNew = false;     // --trust-new
    bool voice = false;                 // --voice: call the host after each login
    std::string voiceDevice = "default"; // --voice-device: ALSA name
    unsigned voicePort = 5060;          // --voice-port: the host's SIP port
    bool help = false;
    bool version = false;

    bool oneShot() const { return !commands.empty(); }
    bool relay() const { return !ptyPath.empty() || listenPort.has_value(); }
};

// Parses the arguments after the program name. False with `error` set when they
// are wrong. ONDREL_USER stands in for a missing -u.
bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

// The usage text of --help.
std::string UsageText();

} // namespace client
