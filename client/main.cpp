// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel-client: logs in to an Ondrel radio host, then offers its radio at a
// console prompt, to one-shot commands, or to station programs through a
// pseudo-terminal or a local TCP port.

#include "Modes.h"
#include "client/Password.h"
#include "platform/VersionNotice.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include <sys/signalfd.h>
#include <unistd.h>

using namespace client;

namespace {

// Finds the password: the file, the environment, or the terminal.
int ObtainPassword(const Options& options, LoginSettings& login, PasswordRetry& retry)
{
    std::string error;
    const std::optional<std::string> fromEnvironment = TakeEnvironmentPassword();
    if (!options.passwordFile.empty()) {
        if (!ReadPasswordFile(options.passwordFile, login.password, error)) {
            Say(error);
            return kExitUsage;
        }
    } else if (fromEnvironment) {
        login.password = *fromEnvironment;
    } else {
        const std::string prompt = "Password for " + login.user + " at " + login.host + ": ";
        switch (PromptPassword(prompt, -1, login.password)) {
        case PromptResult::Entered:
            break;
        case PromptResult::NoTerminal:
            Say("no password: give --password-file FILE or set " + std::string(kPasswordVariable) +
                ", or run on a terminal to be asked");
            return kExitUsage;
        default:
            Say("no password given");
            return kExitUsage;
        }
        // Typed at a prompt: a wrong one may be typed again, as often as the host allows.
        retry = [](int watchFd) -> std::optional<std::string> {
            std::string password;
            Say("wrong user ID or password; try again");
            if (PromptPassword("Password: ", watchFd, password) == PromptResult::Entered) {
                return password;
            }
            return std::nullopt;
        };
    }
    if (const std::string problem = CredentialProblem("password", login.password); !problem.empty()) {
        Say(problem);
        return kExitUsage;
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        Say(error);
        std::cerr << "Try 'ondrel-client --help'.\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << UsageText();
        return kExitOk;
    }
    if (options.version) {
        std::cout << "ondrel-client " << ONDREL_VERSION << "\n" << platform::kVersionNotice;
        return kExitOk;
    }

    // Signals arrive as readable data, so that every mode ends through its own loop
    // and leaves the terminal and the pseudo-terminal link in order.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    std::signal(SIGPIPE, SIG_IGN);

    LoginSettings login{options.host, options.port, options.user, {}, options.timeout, {}};
    login.tls = TlsSettings{options.tls, options.fingerprint, options.caFile, options.trustNew, {}};
    PasswordRetry retry;
    if (const int status = ObtainPassword(options, login, retry); status != kExitOk) {
        return status;
    }
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        Say("cannot watch for signals");
        return kExitFailure;
    }

    std::unique_ptr<VoiceLink> voice;
    if (options.voice) {
        voice = std::make_unique<VoiceLink>(options.voiceDevice, options.voicePort, options.tls, Say);
    }
    ModeContext context{options, login, retry, signalFd, voice.get()};
    int status = kExitOk;
    if (options.oneShot()) {
        status = RunOneShot(context);
    } else if (options.relay()) {
        status = RunRelay(context);
    } else {
        status = RunConsole(context);
    }
    std::fill(login.password.begin(), login.password.end(), '\0');
    // Hangs up before the program ends.
    voice.reset();
    ::close(signalFd);
    return status;
}
