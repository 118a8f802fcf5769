// SPDX-License-Identifier: GPL-3.0-or-later
// ondrel: the radio host. Opens its window; with --headless it runs the service
// without one. One window runs per user, and one copy per settings file (a window
// and a headless copy on the same file exclude each other; headless copies on other
// files, each with its own radio and port, run side by side). A second copy ends at
// once and silently.
#include "host/HeadlessRunner.h"
#include "host/HostOptions.h"
#include "host/InstanceLock.h"
#include "host/SignalWatcher.h"
#include "host/WindowModule.h"
#include "linkcore/ServiceTls.h"
#include "platform/Profile.h"
#include "platform/VersionNotice.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: ondrel [--headless] [--profile FILE] [-ECV] [-ELM]\n"
    "       ondrel [--profile FILE] --fingerprint\n"
    "       ondrel --help | --version\n"
    "  (no option)     open the window; its menu starts and stops the service\n"
    "  --headless      run the service without a window; Ctrl-C or SIGTERM stops it\n"
    "  --profile FILE  settings file (default: $ONDREL_PROFILE, else\n"
    "                  $XDG_CONFIG_HOME/ORVANE/Ondrel.ini)\n"
    "  -ECV            accept model 19 (Corvex) radios\n"
    "  -ELM            let clients send LM with parameters\n"
    "  --fingerprint   print the SHA-256 fingerprint of the TLS certificate the\n"
    "                  settings name (made at the first start with MIREL TLS=1)\n"
    "  -h, --help      print this text\n"
    "  --version       print the program's version\n"
    "exit status: 0 window closed or stopped by a signal, 1 start refused (headless),\n"
    "             2 the radio fell silent or was lost (headless), 3 another copy runs,\n"
    "             4 the window could not be opened, 5 no instance lock\n";

// Prints the fingerprint for the operator to read to remote users. It only reads:
// run by another user (root, say), it must not leave a certificate the service's
// user cannot read, so a missing certificate is reported, not made.
int PrintFingerprint()
{
    const platform::Profile& profile = platform::ApplicationProfile();
    const linkcore::ServiceTls tls = linkcore::ReadServiceTls(profile);
    std::string error = tls.error;
    const std::string fingerprint = error.empty() ? netport::CertificateFingerprint(tls.files.certificate, error) : "";
    if (fingerprint.empty()) {
        std::fprintf(stderr, "ondrel: %s\n", error.c_str());
        if (tls.error.empty() && tls.files.defaults) {
            std::fprintf(stderr, "ondrel: the service makes it at its first start with \"MIREL TLS\" set to 1 in %s\n",
                         profile.path().c_str());
        }
        return 1;
    }
    std::printf("%s\n", fingerprint.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const host::HostOptions options = host::ParseHostOptions(argc, argv);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ondrel %s\n%s", ONDREL_VERSION, platform::kVersionNotice);
        return 0;
    }
    if (options.fingerprint) {
        // No instance lock: the service is usually running when its operator asks.
        platform::SetApplicationProfilePath(options.profile ? *options.profile : platform::Profile::defaultPath());
        return PrintFingerprint();
    }
    // Before any thread starts, so that every thread inherits the blocked set.
    host::BlockTerminationSignals();

    const std::filesystem::path profile = options.profile ? *options.profile : platform::Profile::defaultPath();
    const std::filesystem::path lockDirectory = host::InstanceLock::defaultDirectory();
    // A refused lock ends the program: silently when another copy holds it.
    const auto refusal = [&lockDirectory](const host::InstanceLock& lock, const std::string& name) {
        if (lock.state() == host::InstanceLock::State::Busy) {
            return host::kExitAlreadyRunning;
        }
        if (!lock.held()) {
            std::fprintf(stderr, "ondrel: cannot lock %s/%s\n", lockDirectory.c_str(), name.c_str());
            return host::kExitNoInstanceLock;
        }
        return 0;
    };
    std::optional<host::InstanceLock> userLock;
    if (!options.headless) {
        userLock.emplace(lockDirectory);
        if (const int status = refusal(*userLock, host::InstanceLock::kFileName); status != 0) {
            return status;
        }
    }
    const std::string settingsLockName = host::InstanceLock::SettingsLockName(profile);
    const host::InstanceLock settingsLock(lockDirectory, settingsLockName);
    if (const int status = refusal(settingsLock, settingsLockName); status != 0) {
        return status;
    }
    platform::SetApplicationProfilePath(profile);

    if (options.headless) {
        return host::RunHeadless(options);
    }
    return host::RunWindowModule(options, argc, argv);
}
