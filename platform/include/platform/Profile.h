// SPDX-License-Identifier: GPL-3.0-or-later
// The application profile: integer and string settings by (section, key), kept in
// one INI file. Every query reads the file, so a change made by another program is
// seen at once; every write replaces the file atomically (temporary file + rename)
// with mode 0600 and keeps all other keys. All methods are safe from any thread.
//
// A missing file holds no settings (every query gives its fallback; a write creates
// it). A file that exists but cannot be read also gives the fallbacks, and is never
// written (LastReadError tells); nor is one that this process may not write.
//
// File format: "[Section]" lines and "key=value" lines. Keys are taken verbatim,
// spaces included ("MIREL 000 User ID=alice"); a malformed line is skipped. A key
// that could not be read back (empty, holding "=" or a line break, beginning with
// ";" or "[", or making a line that looks like "[Section]") is refused by the writes.
#pragma once

#include "platform/PlatformExport.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

// One value to write; integers are written as their decimal text.
struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

// The values of the file as one read found them; handed to Profile::UpdateProfile.
// Also the file format itself, without the file: Parse, the reads, Apply and Text
// are what the profile does on every read and write.
class PLATFORM_EXPORT ProfileValues {
public:
    ProfileValues() = default;
    // The values of a settings file's text: its lines, split at "\n" (a last line
    // without one included), every line kept, malformed ones too.
    static ProfileValues Parse(std::string_view text);

    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view fallback) const;
    // Missing section or key, or a value that is not a decimal integer, gives `fallback`.
    int GetProfileInt(std::string_view section, std::string_view key, int fallback) const;

    // Sets every entry, in order: replaces the key's line in its section, or adds it
    // after the section's last line, or adds the section at the end. False, with
    // nothing changed, when an entry cannot be stored (see Profile's file format).
    bool Apply(std::span<const ProfileEntry> entries);
    // The file text: every line followed by "\n".
    std::string Text() const;

private:
    friend class Profile;
    std::vector<std::string> lines_;
};

class PLATFORM_EXPORT Profile {
public:
    explicit Profile(std::filesystem::path file);

    // Missing section or key, or a value that is not a decimal integer, gives `fallback`.
    int GetProfileInt(std::string_view section, std::string_view key, int fallback) const;
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const;
    // 1 on success, 0 when the file could not be written, cannot be read or may not be
    // written (the old file is then intact).
    int WriteProfileInt(std::string_view section, std::string_view key, int value);
    int WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    // Writes every entry, in order, with one replacement of the file: a reader sees
    // all of them or none. 1 on success; 0 when an entry cannot be stored (nothing
    // is then written) or the file could not be written.
    int WriteProfileEntries(std::span<const ProfileEntry> entries);
    // Reads the file once, asks `change` what to write from those values and writes
    // it with one replacement of the file, all under the profile's lock: no other
    // write of this process lands between the read and the write. `change` must not
    // call this profile. It returns nullopt to write nothing (result 0); otherwise
    // the result is as for WriteProfileEntries.
    using Change = std::function<std::optional<std::vector<ProfileEntry>>(const ProfileValues&)>;
    int UpdateProfile(const Change& change);
    // The values of the file as one read finds them now, for a caller that needs
    // several values that belong together (a user's slot, password and flag).
    ProfileValues Snapshot() const;
    // How many times the file has been read since this object was made.
    std::uint64_t FileReads() const;
    // The errno of the last reading when the file exists but could not be read
    // (EACCES, EISDIR, EIO...); 0 when it was read or does not exist.
    int LastReadError() const;

    std::filesystem::path path() const;
    // Points this profile at another file; later calls use it.
    void setPath(std::filesystem::path file);

    // $ONDREL_PROFILE if set, else $XDG_CONFIG_HOME/ORVANE/Ondrel.ini
    // (~/.config/ORVANE/Ondrel.ini when XDG_CONFIG_HOME is unset or empty).
    static std::filesystem::path defaultPath();
    // The value of "--profile FILE" or "--profile=FILE" anywhere in argv, if given.
    static std::optional<std::filesystem::path> pathFromArguments(int argc, const char* const* argv);

private:
    // Applies `entries` to `lines` and replaces the file; the caller holds mutex_.
    PLATFORM_LOCAL int WriteLocked(std::vector<std::string> lines, std::span<const ProfileEntry> entries);

    // Reads the file; the caller holds mutex_.
    PLATFORM_LOCAL std::vector<std::string> ReadLocked() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    mutable std::atomic<std::uint64_t> fileReads_{0};
    mutable std::atomic<int> readError_{0};
};

// The running application's profile, which the libraries read and write. One
// object for the whole process; until SetApplicationProfilePath is called its
// file is Profile::defaultPath().
PLATFORM_EXPORT Profile& ApplicationProfile();
PLATFORM_EXPORT void SetApplicationProfilePath(const std::filesystem::path& file);

} // namespace platform
