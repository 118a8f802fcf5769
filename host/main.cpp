// ondrel: the radio host. This build runs the service without a window (--headless).
#include "host/HeadlessRunner.h"
#include "host/HostOptions.h"

#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: ondrel --headless [--profile FILE] [-ECV] [-ELM]\n"
    "  --headless      run the service without a window; Ctrl-C or SIGTERM stops it\n"
    "  --profile FILE  settings file (default: $ONDREL_PROFILE, else\n"
    "                  $XDG_CONFIG_HOME/ORVANE/Ondrel.ini)\n"
    "  -ECV            accept model 19 (Corvex) radios\n"
    "  -ELM            let clients send LM with parameters\n"
    "exit status: 0 stopped by a signal, 1 start refused, 2 the radio fell silent\n"
    "             or was lost, 3 another copy runs, 4 bad command line,\n"
    "             5 no instance lock\n";

} // namespace

int main(int argc, char** argv)
{
    const host::HostOptions options = host::ParseHostOptions(argc, argv);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!options.headless) {
        std::fputs("ondrel: this build has no window; run it with --headless\n", stderr);
        std::fputs(kUsage, stderr);
        return host::kExitUsage;
    }
    return host::RunHeadless(options);
}
