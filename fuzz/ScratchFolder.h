// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private folder for a fuzz target's files (its settings file), made once when the
// harness starts and removed with everything in it when it ends. It lies in memory
// (/dev/shm) where there is one: the profile syncs every write, and on a disk the
// target's rate would depend on the disk rather than on the code under test.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

class ScratchFolder {
public:
    // `name` prefixes the folder's name, so a leftover one tells whose it was.
    explicit ScratchFolder(std::string_view name)
    {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / (std::string(name) + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
