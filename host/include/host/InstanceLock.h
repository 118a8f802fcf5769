// SPDX-License-Identifier: GPL-3.0-or-later
// InstanceLock: makes sure only one copy of the host runs for a key. The first copy
// holds an exclusive lock on a file in the user's runtime directory for its lifetime:
// "ORVANE Ondrel.lock" for the window (one per user), and one file per settings file
// for every copy (SettingsLockName), so that two copies never share a radio and a
// port while headless hosts on different settings files run side by side. The lock
// goes with the process, so a crashed copy never blocks the next. Owned by the
// program's main thread.
#pragma once

#include <filesystem>
#include <string>

namespace host {

class InstanceLock {
public:
    enum class State { Held, Busy, Failed };

    // Tries to take the lock in `directory`, creating the directory (mode 0700) and the
    // file when missing. Busy: another copy holds it. Failed: the directory is not a
    // directory of this user, or the file cannot be opened.
    explicit InstanceLock(const std::filesystem::path& directory, const std::string& fileName = kFileName);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }

    // $XDG_RUNTIME_DIR when set and not empty, else /tmp/ondrel-<uid>.
    static std::filesystem::path defaultDirectory();
    static constexpr const char* kFileName = "ORVANE Ondrel.lock";
    // The lock file's name for the copies that use the settings file `settings`:
    // "ORVANE Ondrel " and a hash of its canonical path, so that every spelling of
    // one file (relative, through links) names the same lock; the file need not exist.
    static std::string SettingsLockName(const std::filesystem::path& settings);

private:
    int fd_ = -1;
    State state_ = State::Failed;
};

} // namespace host
