// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark programs share: a temporary work folder, a free loopback TCP
// port, and the start of a program in a child process with an environment of its
// own (the caller's, but for its runtime folder and without a profile override).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/types.h>

namespace bench {

// A temporary folder "<temp>/<prefix>-XXXXXX", removed with its contents.
class WorkDir {
public:
    explicit WorkDir(const std::string& prefix);
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    // Empty when the folder could not be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment; 0 when none was found.
unsigned FreePort();

// Starts `arguments` (the program first) with `actions` applied and this process's
// environment, except that XDG_RUNTIME_DIR is `runtime` and ONDREL_PROFILE is unset.
// Returns the child's pid, or -1.
pid_t SpawnProgram(std::vector<std::string> arguments, const std::filesystem::path& runtime,
                   const posix_spawn_file_actions_t* actions);

} // namespace bench
