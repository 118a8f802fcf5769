// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchSupport.h"

#include "platform/Descriptor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

extern char** environ;

namespace bench {

WorkDir::WorkDir(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

WorkDir::~WorkDir()
{
    std::error_code ignored;
    if (!path_.empty()) {
        std::filesystem::remove_all(path_, ignored);
    }
}

unsigned FreePort()
{
    const platform::Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

pid_t SpawnProgram(std::vector<std::string> arguments, const std::filesystem::path& runtime,
                   const posix_spawn_file_actions_t* actions)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        if (!text.starts_with("XDG_RUNTIME_DIR=") && !text.starts_with("ONDREL_PROFILE=")) {
            environment.emplace_back(text);
        }
    }
    environment.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

} // namespace bench
