// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/WindowModule.h"

#include "host/HeadlessRunner.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <system_error>

namespace host {

std::vector<std::filesystem::path> WindowModuleCandidates(const std::filesystem::path& programFolder)
{
    return {programFolder / kWindowModuleName,
            (programFolder / ONDREL_PRIVATE_LIBDIR_FROM_BINDIR / kWindowModuleName).lexically_normal()};
}

int RunWindowModule(const HostOptions& options, int argc, char** argv)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        std::fprintf(stderr, "ondrel: cannot find the program's own folder: %s\n", error.message().c_str());
        return kExitNoWindow;
    }
    std::string reasons;
    for (const std::filesystem::path& candidate : WindowModuleCandidates(program.parent_path())) {
        if (!std::filesystem::exists(candidate, error)) {
            reasons += "\n  " + candidate.string() + ": not found";
            continue;
        }
        // Never closed: the toolkit registers exit handlers that must find it mapped.
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            reasons += "\n  " + std::string(dlerror());
            continue;
        }
        const auto entry = reinterpret_cast<WindowEntry>(dlsym(module, kWindowEntryName));
        if (entry == nullptr) {
            reasons += "\n  " + candidate.string() + ": no " + kWindowEntryName;
            continue;
        }
        return entry(&options, argc, argv);
    }
    std::fprintf(stderr, "ondrel: cannot open the window (--headless runs without one):%s\n", reasons.c_str());
    return kExitNoWindow;
}

} // namespace host
