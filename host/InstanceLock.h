// InstanceLock: makes sure only one copy of the host runs for a user. The first copy
// holds an exclusive lock on "ORVANE Ondrel.lock" in the user's runtime directory for
// its lifetime; the lock goes with the process, so a crashed copy never blocks the next.
// Owned by the program's main thread.
#pragma once

#include <filesystem>

namespace host {

class InstanceLock {
public:
    enum class State { Held, Busy, Failed };

    // Tries to take the lock in `directory`, creating the directory (mode 0700) and the
    // file when missing. Busy: another copy holds it. Failed: the directory is not a
    // directory of this user, or the file cannot be opened.
    explicit InstanceLock(const std::filesystem::path& directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }

    // $XDG_RUNTIME_DIR when set and not empty, else /tmp/ondrel-<uid>.
    static std::filesystem::path defaultDirectory();
    static constexpr const char* kFileName = "ORVANE Ondrel.lock";

private:
    int fd_ = -1;
    State state_ = State::Failed;
};

} // namespace host
