// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line parsing without global state, so that it can be table-tested.

#include "client/Options.h"

#include "client/HostProtocol.h"
#include "netport/tls/Fingerprint.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace client {
namespace {

bool ParseNumber(const std::string& text, unsigned long maximum, unsigned long& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    return failure == std::errc() && stop == end && value <= maximum;
}

// The value of option `name` as a number up to `maximum`.
bool ReadNumber(const std::string& name, const std::string& text, unsigned long maximum, unsigned long& value,
                std::string& error)
{
    if (!ParseNumber(text, maximum, value)) {
        error = "option " + name + " needs a number up to " + std::to_string(maximum) + ", not \"" + text + "\"";
        return false;
    }
    return true;
}

// The same for a number that must not be 0, which `zeroError` names.
bool ReadNonZero(const std::string& name, const std::string& text, unsigned long maximum, const char* zeroError,
                 unsigned long& value, std::string& error)
{
    if (!ReadNumber(name, text, maximum, value, error)) {
        return false;
    }
    if (value == 0) {
        error = zeroError;
        return false;
    }
    return true;
}

// Stores `value` in `field`; an empty value is refused with `emptyError`.
bool ReadNonEmpty(const std::string& value, std::string& field, const char* emptyError, std::string& error)
{
    field = value;
    if (field.empty()) {
        error = emptyError;
        return false;
    }
    return true;
}

// What an option does to the options: `name` as it was typed, `value` its value (empty
// for an option that takes none). False with `error` set when the value is wrong.
using OptionSetter = bool (*)(Options& options, const std::string& name, const std::string& value, std::string& error);

struct OptionRule {
    std::string_view shortName; // "-p", or empty
    std::string_view longName;  // "--port", or empty
    bool takesValue;
    OptionSetter set;
};

template <bool Options::*Flag>
bool SetFlag(Options& options, const std::string&, const std::string&, std::string&)
{
    options.*Flag = true;
    return true;
}

template <std::string Options::*Field>
bool SetText(Options& options, const std::string&, const std::string& value, std::string&)
{
    options.*Field = value;
    return true;
}

bool RefusePassword(Options&, const std::string&, const std::string&, std::string& error)
{
    error = "a password is never taken from the command line, where others can read it; use "
            "--password-file, $ONDREL_PASSWORD or the prompt";
    return false;
}

// Every option, in the order of the usage text (the refused password options beside
// --password-file). A value comes as the next argument, after "=" (--port=50001) or
// right after a short name (-ualice); an option without a value ignores what is
// written after its name.
const OptionRule kOptionRules[] = {
    {"-p", "--port", true,
     [](Options& options, const std::string& name, const std::string& value, std::string& error) {
         unsigned long port = 0;
         if (!ReadNonZero(name, value, 65535, "the port must be 1 to 65535", port, error)) {
             return false;
         }
         options.port = std::to_string(port);
         return true;
     }},
    {"-u", "--user", true, SetText<&Options::user>},
    {"-P", "--password-file", true, SetText<&Options::passwordFile>},
    {"", "--password", false, RefusePassword},
    {"", "--pass", false, RefusePassword},
    {"", "--pw", false, RefusePassword},
    {"-c", "--command", true,
     [](Options& options, const std::string&, const std::string& value, std::string&) {
         options.commands.push_back(value);
         return true;
     }},
    {"-w", "--wait", true,
     [](Options& options, const std::string& name, const std::string& value, std::string& error) {
         unsigned long milliseconds = 0;
         if (!ReadNumber(name, value, 600000, milliseconds, error)) {
             return false;
         }
         options.quiet = std::chrono::milliseconds(milliseconds);
         return true;
     }},
    {"", "--pty", true,
     [](Options& options, const std::string&, const std::string& value, std::string& error) {
         return ReadNonEmpty(value, options.ptyPath, "--pty needs a path", error);
     }},
    {"", "--listen", true,
     [](Options& options, const std::string& name, const std::string& value, std::string& error) {
         unsigned long port = 0;
         if (!ReadNumber(name, value, 65535, port, error)) {
             return false;
         }
         options.listenPort = static_cast<unsigned>(port);
         return true;
     }},
    {"", "--bind", true, SetText<&Options::listenAddress>},
    {"", "--voice", false, SetFlag<&Options::voice>},
    {"", "--voice-device", true,
     [](Options& options, const std::string&, const std::string& value, std::string& error) {
         if (!ReadNonEmpty(value, options.voiceDevice, "--voice-device needs a device name", error)) {
             return false;
         }
         options.voice = true;
         return true;
     }},
    {"", "--voice-port", true,
     [](Options& options, const std::string& name, const std::string& value, std::string& error) {
         unsigned long port = 0;
         if (!ReadNonZero(name, value, 65535, "the voice port must be 1 to 65535", port, error)) {
             return false;
         }
         options.voicePort = static_cast<unsigned>(port);
         return true;
     }},
    {"-t", "--timeout", true,
     [](Options& options, const std::string& name, const std::string& value, std::string& error) {
         unsigned long seconds = 0;
         if (!ReadNonZero(name, value, 3600, "the timeout must be 1 to 3600 seconds", seconds, error)) {
             return false;
         }
         options.timeout = std::chrono::seconds(seconds);
         return true;
     }},
    {"", "--tls", false, SetFlag<&Options::tls>},
    {"", "--fingerprint", true,
     [](Options& options, const std::string&, const std::string& value, std::string& error) {
         const std::optional<std::string> fingerprint = netport::tls::ParseFingerprint(value);
         if (!fingerprint) {
             error = "--fingerprint needs SHA256: and 64 hex digits (colons between the pairs may be left out), "
                     "not \"" + value + "\"";
             return false;
         }
         options.fingerprint = *fingerprint;
         options.tls = true;
         return true;
     }},
    {"", "--ca", true,
     [](Options& options, const std::string&, const std::string& value, std::string& error) {
         if (!ReadNonEmpty(value, options.caFile, "--ca needs a file", error)) {
             return false;
         }
         options.tls = true;
         return true;
     }},
    {"", "--trust-new", false, SetFlag<&Options::trustNew>},
    {"-h", "--help", false, SetFlag<&Options::help>},
    {"-V", "--version", false, SetFlag<&Options::version>},
};

const OptionRule* FindOption(const std::string& name)
{
    for (const OptionRule& rule : kOptionRules) {
        if ((!rule.shortName.empty() && name == rule.shortName) || (!rule.longName.empty() && name == rule.longName)) {
            return &rule;
        }
    }
    return nullptr;
}

// One argument as typed: the option's name, and the value written into the same
// argument ("--port=50001", "-ualice"), if any.
struct TypedOption {
    std::string name;
    std::optional<std::string> inlineValue;
};

TypedOption SplitArgument(const std::string& argument)
{
    if (argument.starts_with("--") && argument.find('=') != std::string::npos) {
        return {argument.substr(0, argument.find('=')), argument.substr(argument.find('=') + 1)};
    }
    if (argument.size() > 2 && argument[0] == '-' && argument[1] != '-') {
        // -uNAME
        return {argument.substr(0, 2), argument.substr(2)};
    }
    return {argument, std::nullopt};
}

// Applies every option in `arguments` and collects the rest, the host names, in `positional`.
bool ReadArguments(const std::vector<std::string>& arguments, Options& options, std::vector<std::string>& positional,
                   std::string& error)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const TypedOption typed = SplitArgument(arguments[i]);
        const OptionRule* rule = FindOption(typed.name);
        if (rule == nullptr) {
            if (typed.name.size() > 1 && typed.name[0] == '-') {
                error = "unknown option " + typed.name;
                return false;
            }
            positional.push_back(typed.name);
            continue;
        }
        std::string value;
        if (rule->takesValue) {
            if (typed.inlineValue) {
                value = *typed.inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                error = "option " + typed.name + " needs a value";
                return false;
            }
        }
        if (!rule->set(options, typed.name, value, error)) {
            return false;
        }
    }
    return true;
}

// Exactly one host.
bool ChooseHost(const std::vector<std::string>& positional, Options& options, std::string& error)
{
    if (positional.size() != 1) {
        error = positional.empty() ? "which host? Give its name or address"
                                   : "one host only, not \"" + positional[1] + "\"";
        return false;
    }
    options.host = positional[0];
    return true;
}

// The user of -u, or else of ONDREL_USER, in a form the host takes.
bool ChooseUser(Options& options, std::string& error)
{
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
    return true;
}

// Options that exclude each other, and commands that say nothing.
bool CheckCombinations(const Options& options, std::string& error)
{
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
    if (!ReadArguments(arguments, options, positional, error)) {
        return false;
    }
    if (options.help || options.version) {
        return true;
    }
    return ChooseHost(positional, options, error) && ChooseUser(options, error) && CheckCombinations(options, error);
}

} // namespace client
