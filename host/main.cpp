// ondrel: the radio host. Opens its window; with --headless it runs the service
// without one.
#include "host/HeadlessRunner.h"
#include "host/HostOptions.h"
#include "host/gui/WindowApp.h"

#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: ondrel [--headless] [--profile FILE] [-ECV] [-ELM]\n"
    "       ondrel --help | --version\n"
    "  (no option)     open the window; its menu starts and stops the service\n"
    "  --headless      run the service without a window; Ctrl-C or SIGTERM stops it\n"
    "  --profile FILE  settings file (default: $ONDREL_PROFILE, else\n"
    "                  $XDG_CONFIG_HOME/ORVANE/Ondrel.ini)\n"
    "  -ECV            accept model 19 (Corvex) radios\n"
    "  -ELM            let clients send LM with parameters\n"
    "  -h, --help      print this text\n"
    "  --version       print the program's version\n"
    "exit status: 0 window closed or stopped by a signal, 1 start refused (headless),\n"
    "             2 the radio fell silent (headless), 3 another copy runs,\n"
    "             5 no instance lock\n";

} // namespace

int main(int argc, char** argv)
{
    const host::HostOptions options = host::ParseHostOptions(argc, argv);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ondrel %s\n", ONDREL_VERSION);
        return 0;
    }
    if (options.headless) {
        return host::RunHeadless(options);
    }
    return host::gui::RunWindow(options, argc, argv);
}
