// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh directory "<base>/<prefix>-XXXXXX", removed with its contents. Tests, the
// benchmarks and the fuzz targets all make their scratch folders with it.
#pragma once

#include <filesystem>
#include <string_view>

namespace testsupport {

class TempDir {
public:
    // "<temp>/ondrel-test-XXXXXX".
    TempDir();
    // `prefix` names the folder, so that a leftover one tells whose it was; `base`
    // is where it is made. Throws std::runtime_error when it cannot be made.
    explicit TempDir(std::string_view prefix,
                     const std::filesystem::path& base = std::filesystem::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A base for folders whose files are written often and synced (a profile): /dev/shm,
// in memory, where there is one, else the system's temporary folder. There the rate
// of a loop that writes them depends on the code rather than on the disk.
std::filesystem::path InMemoryTempBase();

} // namespace testsupport
