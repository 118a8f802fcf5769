// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Profile.h"

#include "platform/Descriptor.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::string_view StripCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

std::string_view TrimSpaces(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The section named by a "[Section]" line, or nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line)
{
    line = TrimSpaces(StripCarriageReturn(line));
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return line.substr(1, line.size() - 2);
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

// A "key=value" line; nullopt for a line without "=" or with an empty key.
std::optional<KeyValue> KeyValueOf(std::string_view line)
{
    line = StripCarriageReturn(line);
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0 || line.front() == '[' || line.front() == ';') {
        return std::nullopt;
    }
    return KeyValue{line.substr(0, equals), line.substr(equals + 1)};
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// The file's lines; a file that does not exist has none. `error` is the errno of a
// file that exists but cannot be read (0 otherwise), whose lines are then unknown.
std::vector<std::string> ReadLines(const std::filesystem::path& file, int& error)
{
    error = 0;
    int fd = -1;
    do {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno == ENOENT ? 0 : errno;
        return {};
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            ::close(fd);
            return {};
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return SplitLines(text);
}

// A file that exists but that this process may not write (read-only by its mode, or
// on a read-only file system) is kept as it is: replacing it through a new file would
// bypass its protection.
bool MayReplace(const std::filesystem::path& file)
{
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

// Section and key names match without regard to ASCII case, as users of the
// settings expect from hand-edited files.
std::optional<std::string> Lookup(const std::vector<std::string>& lines, std::string_view section,
                                  std::string_view key)
{
    bool inSection = false;
    for (const std::string& line : lines) {
        if (auto name = SectionOf(line)) {
            inSection = EqualsIgnoringCase(*name, section);
        } else if (inSection) {
            if (auto entry = KeyValueOf(line); entry && EqualsIgnoringCase(entry->key, key)) {
                return std::string(entry->value);
            }
        }
    }
    return std::nullopt;
}

// A line break inside a name or value would split it into lines of another meaning.
bool FitsOnOneLine(std::string_view text)
{
    return text.find_first_of("\r\n") == std::string_view::npos;
}

// Replaces `file` with `text` through a temporary file in the same folder, so a
// reader sees either the old or the new file, never a partial one.
bool ReplaceFile(const std::filesystem::path& file, const std::string& text)
{
    std::error_code error;
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, error);
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(pattern.c_str(), file.c_str()) != 0) {
        ::unlink(pattern.c_str());
        return false;
    }
    return true;
}

// Whether the entry can be written so that a read finds it: names and value on one
// line each, and a "key=value" line that reads back as that key, not as a section
// header ("[a=b]") nor as a comment or a header's start (a key beginning with ";" or "[").
bool Storable(const ProfileEntry& entry)
{
    if (entry.key.empty() || entry.key.find('=') != std::string::npos || !FitsOnOneLine(entry.section) ||
        !FitsOnOneLine(entry.key) || !FitsOnOneLine(entry.value)) {
        return false;
    }
    const std::string line = entry.key + "=" + entry.value;
    const std::optional<KeyValue> parsed = KeyValueOf(line);
    return !SectionOf(line) && parsed && parsed->key == entry.key;
}

// Replaces the entry's key in its section, or adds it at the end of the section,
// or adds the section at the end of the file.
void SetValue(std::vector<std::string>& lines, const ProfileEntry& entry)
{
    const std::string line = entry.key + "=" + entry.value;
    bool inSection = false;
    std::optional<std::size_t> insertAt; // after the last line of the matching section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionOf(lines[i])) {
            inSection = EqualsIgnoringCase(*name, entry.section);
            if (inSection) {
                insertAt = i + 1;
            }
        } else if (inSection) {
            if (auto existing = KeyValueOf(lines[i]); existing && EqualsIgnoringCase(existing->key, entry.key)) {
                lines[i] = line;
                return;
            }
            if (!TrimSpaces(StripCarriageReturn(lines[i])).empty()) {
                insertAt = i + 1;
            }
        }
    }
    if (insertAt) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), line);
    } else {
        lines.push_back("[" + entry.section + "]");
        lines.push_back(line);
    }
}

std::filesystem::path HomeConfigFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : ".") / ".config";
}

} // namespace

namespace {

// The decimal integer in `text`, spaces around it allowed; `fallback` when there is none.
int IntegerOr(const std::optional<std::string>& text, int fallback)
{
    if (!text) {
        return fallback;
    }
    const std::string_view digits = TrimSpaces(*text);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return (error == std::errc() && end != digits.data()) ? value : fallback;
}

} // namespace

Profile::Profile(std::filesystem::path file) : file_(std::move(file)) {}

int Profile::GetProfileInt(std::string_view section, std::string_view key, int fallback) const
{
    std::optional<std::string> text;
    {
        std::lock_guard lock(mutex_);
        text = Lookup(ReadLocked(), section, key);
    }
    return IntegerOr(text, fallback);
}

std::string Profile::GetProfileString(std::string_view section, std::string_view key,
                                      std::string_view fallback) const
{
    std::lock_guard lock(mutex_);
    return Lookup(ReadLocked(), section, key).value_or(std::string(fallback));
}

int Profile::WriteProfileInt(std::string_view section, std::string_view key, int value)
{
    return WriteProfileString(section, key, std::to_string(value));
}

int Profile::WriteProfileString(std::string_view section, std::string_view key, std::string_view value)
{
    const ProfileEntry entry{std::string(section), std::string(key), std::string(value)};
    return WriteProfileEntries(std::span<const ProfileEntry>(&entry, 1));
}

int Profile::WriteProfileEntries(std::span<const ProfileEntry> entries)
{
    for (const ProfileEntry& entry : entries) {
        if (!Storable(entry)) {
            return 0;
        }
    }
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines = ReadLocked();
    if (readError_.load() != 0) {
        return 0; // what the file holds is unknown: a rewrite would lose it
    }
    return WriteLocked(std::move(lines), entries);
}

int Profile::UpdateProfile(const Change& change)
{
    std::lock_guard lock(mutex_);
    ProfileValues values;
    values.lines_ = ReadLocked();
    if (readError_.load() != 0) {
        return 0;
    }
    const std::optional<std::vector<ProfileEntry>> entries = change(values);
    if (!entries || !std::all_of(entries->begin(), entries->end(), Storable)) {
        return 0;
    }
    return WriteLocked(std::move(values.lines_), *entries);
}

int Profile::WriteLocked(std::vector<std::string> lines, std::span<const ProfileEntry> entries)
{
    ProfileValues values;
    values.lines_ = std::move(lines);
    if (!values.Apply(entries)) {
        return 0;
    }
    if (!MayReplace(file_)) {
        return 0;
    }
    return ReplaceFile(file_, values.Text()) ? 1 : 0;
}

ProfileValues Profile::Snapshot() const
{
    std::lock_guard lock(mutex_);
    ProfileValues values;
    values.lines_ = ReadLocked();
    return values;
}

std::uint64_t Profile::FileReads() const
{
    return fileReads_.load();
}

std::vector<std::string> Profile::ReadLocked() const
{
    fileReads_.fetch_add(1);
    int error = 0;
    std::vector<std::string> lines = ReadLines(file_, error);
    readError_.store(error);
    return lines;
}

int Profile::LastReadError() const
{
    return readError_.load();
}

int ProfileValues::GetProfileInt(std::string_view section, std::string_view key, int fallback) const
{
    return IntegerOr(Lookup(lines_, section, key), fallback);
}

std::string ProfileValues::GetProfileString(std::string_view section, std::string_view key,
                                            std::string_view fallback) const
{
    return Lookup(lines_, section, key).value_or(std::string(fallback));
}

ProfileValues ProfileValues::Parse(std::string_view text)
{
    ProfileValues values;
    values.lines_ = SplitLines(text);
    return values;
}

bool ProfileValues::Apply(std::span<const ProfileEntry> entries)
{
    if (!std::all_of(entries.begin(), entries.end(), Storable)) {
        return false;
    }
    for (const ProfileEntry& entry : entries) {
        SetValue(lines_, entry);
    }
    return true;
}

std::string ProfileValues::Text() const
{
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

std::filesystem::path Profile::defaultPath()
{
    const char* chosen = std::getenv("ONDREL_PROFILE");
    if (chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    return HomeConfigFolder() / "ORVANE" / "Ondrel.ini";
}

std::optional<std::filesystem::path> Profile::pathFromArguments(int argc, const char* const* argv)
{
    constexpr std::string_view option = "--profile";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == option && i + 1 < argc) {
            return std::filesystem::path(argv[i + 1]);
        }
        if (argument.starts_with(option) && argument.size() > option.size() && argument[option.size()] == '=') {
            return std::filesystem::path(argument.substr(option.size() + 1));
        }
    }
    return std::nullopt;
}

std::filesystem::path Profile::path() const
{
    std::lock_guard lock(mutex_);
    return file_;
}

void Profile::setPath(std::filesystem::path file)
{
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
}

Profile& ApplicationProfile()
{
    static Profile application(Profile::defaultPath());
    return application;
}

void SetApplicationProfilePath(const std::filesystem::path& file)
{
    ApplicationProfile().setPath(file);
}

} // namespace platform
