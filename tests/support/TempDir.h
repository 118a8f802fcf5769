// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh directory under the system's temporary folder, removed with its contents.
#pragma once

#include <filesystem>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace testsupport
