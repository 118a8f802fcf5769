// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line parsing without global state, so that it can be table-tested.

#include "client/Options.h"

#include "client/HostProtocol.h"
#include "netport/tls/Fingerprint.h"

#include <charconv>
#include <cstdlib>

namespace client {
namespace {

bool ParseNumber(const std::string& text, unsigned long maximum, unsigned long& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    return failure == std::errc() && stop == end && value <= maximum;
}

} // namespace

std::string UsageText()
{
    return "Usage: ondrel-client [OPTIONS] HOST\n"
           "Logs in to an Ondrel radio host and drives its radio.\n"
           "\n"
           "  -p, --port PORT            the host's TCP port (default 50000)\n"
           "  -u, --user USER            the user ID to log in with (default: $ONDREL_USER)\n"
           "  -P, --password-file FILE   read the password from FILE (mode 0600)\n"
           "  -c, --command CMD          send CMD, print the replies and exit; repeatable\n"
           "  -w, --wait MS              with -c: wait MS without replies before going on (default 300)\n"
           "      --pty PATH             offer the radio on a pseudo-terminal linked at PATH\n"
           "      --listen PORT          offer the radio on a local TCP port\n"
           "      --bind ADDRESS         the address for --listen (default 127.0.0.1)\n"
           "      --voice                call the host's voice port after login (needs baresip)\n"
           "      --voice-device NAME    the ALSA sound device for --voice (default \"default\")\n"
           "      --voice-port PORT      the host's voice port, UDP and TCP; with --tls the call\n"
           "                             goes over TLS to the next port (default 5060)\n"
           "  -t, --timeout SECONDS      give up connecting or logging in after SECONDS (default 10)\n"
           "      --tls                  speak TLS; a host seen first is shown and asked about, and\n"
           "                             remembered in $XDG_CONFIG_HOME/ondrel/known_hosts\n"
           "      --fingerprint SHA256:HEX  accept only the certificate with this fingerprint (implies --tls)\n"
           "      --ca FILE              accept a certificate that the authority in FILE signed for\n"
           "                             HOST (implies --tls)\n"
           "      --trust-new            without a terminal, accept and remember a host seen first\n"
           "  -h, --help                 show this text\n"
           "  -V, --version              show the version\n"
           "\n"
           "Without -c, --pty or --listen, commands are typed at a prompt; Ctrl-D leaves.\n"
           "The password comes from --password-file, from $ONDREL_PASSWORD, or from a prompt.\n";
}

bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error)
{
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (name.starts_with("--") && name.find('=') != std::string::npos) {
            inlineValue = name.substr(name.find('=') + 1);
            name = name.substr(0, name.find('='));
        } else if (name.size() > 2 && name[0] == '-' && name[1] != '-') {
            // -uNAME
            inlineValue = name.substr(2);
            name = name.substr(0, 2);
        }
        const auto value = [&](std::string& into) {
            if (inlineValue) {
                into = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            into = arguments[++i];
            return true;
        };
        const auto number = [&](unsigned long maximum, unsigned long& into) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (!ParseNumber(text, maximum, into)) {
                error = "option " + name + " needs a number up to " + std::to_string(maximum) + ", not \"" + text + "\"";
                return false;
            }
            return true;
        };
        unsigned long n = 0;
        if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "-V" || name == "--version") {
            options.version = true;
        } else if (name == "-p" || name == "--port") {
            if (!number(65535, n) || n == 0) {
                error = error.empty() ? "the port must be 1 to 65535" : error;
                return false;
            }
            options.port = std::to_string(n);
        } else if (name == "-u" || name == "--user") {
            if (!value(options.user)) {
                return false;
            }
        } else if (name == "-P" || name == "--password-file") {
            if (!value(options.passwordFile)) {
                return false;
            }
        } else if (name == "--password" || name == "--pass" || name == "--pw") {
            error = "a password is never taken from the command line, where others can read it; use "
                    "--password-file, $ONDREL_PASSWORD or the prompt";
            return false;
        } else if (name == "-c" || name == "--command") {
            std::string command;
            if (!value(command)) {
                return false;
            }
            options.commands.push_back(command);
        } else if (name == "-w" || name == "--wait") {
            if (!number(600000, n)) {
                return false;
            }
            options.quiet = std::chrono::milliseconds(n);
        } else if (name == "-t" || name == "--timeout") {
            if (!number(3600, n) || n == 0) {
                error = error.empty() ? "the timeout must be 1 to 3600 seconds" : error;
                return false;
            }
            options.timeout = std::chrono::seconds(n);
        } else if (name == "--pty") {
            if (!value(options.ptyPath)) {
                return false;
            }
            if (options.ptyPath.empty()) {
                error = "--pty needs a path";
                return false;
            }
        } else if (name == "--listen") {
            if (!number(65535, n)) {
                return false;
            }
            options.listenPort = static_cast<unsigned>(n);
        } else if (name == "--tls") {
            options.tls = true;
        } else if (name == "--trust-new") {
            options.trustNew = true;
        } else if (name == "--fingerprint") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            const std::optional<std::string> fingerprint = netport::tls::ParseFingerprint(text);
            if (!fingerprint) {
                error = "--fingerprint needs SHA256: and 64 hex digits (colons between the pairs may be left out), "
                        "not \"" + text + "\"";
                return false;
            }
            options.fingerprint = *fingerprint;
            options.tls = true;
        } else if (name == "--ca") {
            if (!value(options.caFile) || options.caFile.empty()) {
                error = error.empty() ? "--ca needs a file" : error;
                return false;
            }
            options.tls = true;
        } else if (name == "--voice") {
            options.voice = true;
        } else if (name == "--voice-device") {
            if (!value(options.voiceDevice)) {
                return false;
            }
            if (options.voiceDevice.empty()) {
                error = "--voice-device needs a device name";
                return false;
            }
            options.voice = true;
        } else if (name == "--voice-port") {
            if (!number(65535, n) || n == 0) {
                error = error.empty() ? "the voice port must be 1 to 65535" : error;
                return false;
            }
            options.voicePort = static_cast<unsigned>(n);
        } else if (name == "--bind") {
            if (!value(options.listenAddress)) {
                return false;
            }
        } else if (name.size() > 1 && name[0] == '-') {
            error = "unknown option " + name;
            return false;
        } else {
            positional.push_back(name);
        }
    }
    if (options.help || options.version) {
        return true;
    }
    if (positional.size() != 1) {
        error = positional.empty() ? "which host? Give its name or address" : "one host only, not \"" + positional[1] + "\"";
        return false;
    }
    options.host = positional[0];
    if (options.user.empty()) {
        if (const char* user = std::getenv("ONDREL_USER"); user != nullptr) {
            options.user = user;
        }
    }
    if (options.user.empty()) {
        error = "which user? Give -u USER or set ONDREL_USER";
        return false;
    }
    if (const std::string problem = CredentialProblem("user ID", options.user); !problem.empty()) {
        error = problem;
        return false;
    }
    if (!options.fingerprint.empty() && !options.caFile.empty()) {
        error = "--fingerprint and --ca are two ways to trust the host; choose one";
        return false;
    }
    const int modes = (options.oneShot() ? 1 : 0) + (options.ptyPath.empty() ? 0 : 1) + (options.listenPort ? 1 : 0);
    if (modes > 1) {
        error = "-c, --pty and --listen are separate modes; choose one";
        return false;
    }
    for (const std::string& command : options.commands) {
        if (CommandFromLine(command).empty()) {
            error = "an empty command was given with -c";
            return false;
        }
    }
    return true;
}

} // namespace client
