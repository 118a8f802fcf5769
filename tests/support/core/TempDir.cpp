// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace testsupport {

TempDir::TempDir() : TempDir("ondrel-test")
{
}

TempDir::TempDir(std::string_view prefix, const std::filesystem::path& base)
{
    std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed: " + pattern);
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path InMemoryTempBase()
{
    std::error_code ignored;
    return std::filesystem::is_directory("/dev/shm", ignored) ? std::filesystem::path("/dev/shm")
                                                              : std::filesystem::temp_directory_path();
}

} // namespace testsupport
