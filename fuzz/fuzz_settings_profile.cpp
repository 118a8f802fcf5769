// SPDX-License-Identifier: GPL-3.0-or-later
// A settings file of arbitrary bytes (sections, keys, values, corrupt lines, any line
// ends) parsed, read and rewritten as the application profile does, with the reads
// and writes the host makes. Input: the file's bytes up to the first NUL, then the
// operations, each an opcode byte and its operands:
//   0 read     section, key              (name bytes pick from the pool below)
//   1 text     section, key, length, value bytes
//   2 integer  section, key, four bytes (little-endian)
//   3 batch    count (1..4), then per entry: section, key, length, value bytes
//   4 file     section, key, length, value bytes, one byte: the same through the
//              profile on a real file (a query, a write, an update); once per input
// Without operations the host's own reads and one password change are made. Names
// come from a pool: the host's sections and keys, and those found in the file. The
// format works on text in memory, so most inputs touch no file.
//
// Checked besides memory safety:
// - parsing keeps every line, corrupt ones included: the text written back is the
//   text read (with a final line break added), and parsing that gives it again;
// - reading is deterministic, and an integer is read as the decimal number the text
//   holds, else the fallback;
// - a write that the format takes is read back exactly (the last of a batch wins),
//   changes no other value, and keeps every other line in order: it replaces a line
//   that held its key, inserts its line, or appends its section;
// - a write it refuses (a line break in a name or value, "=" in a key, a key that
//   a read would not find) changes nothing;
// - the profile on a file reads and writes exactly what the format does in memory.

#include "FuzzCheck.h"

#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

void ShowEntries();

#define PROFILE_CHECK(condition) FUZZ_CHECK_WITH(condition, ShowEntries())

// The fallback that tells a missing value: no stored value holds a line break.
constexpr std::string_view kMissing = "\n(missing)\n";

struct Name {
    std::string section;
    std::string key;
};

// The names the host reads and writes.
const std::vector<Name>& HostNames()
{
    static const std::vector<Name> names = [] {
        std::vector<Name> list;
        for (const char* key : {"COM Port", "COM Baud", "MIREL IP Port No", "MIREL Session Time", "MIREL Log",
                                "MIREL Voice", "MIREL Bind Address", "MIREL Login Backoff", "MIREL TLS",
                                "MIREL TLS Certificate", "MIREL TLS Key", "MIREL Voice Device", "MIREL Voice Port",
                                "MIREL Voice Plain"}) {
            list.push_back({"Setting", key});
        }
        for (const char* field : {"User ID", "Password", "Description", "User Disabled"}) {
            list.push_back({"Setting", std::string("MIREL 000 ") + field});
        }
        list.push_back({"File Path", "MIREL Log File Path"});
        list.push_back({"COM Devices", "COM1"});
        return list;
    }();
    return names;
}

// The file lines as a line reader sees them: split at "\n", a final line without
// one included, nothing after a final "\n".
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// Whether the format reads `line` as a section header: spaces and tabs around it
// (and a final carriage return) aside, it is "[...]", whatever it holds between.
bool ReadsAsSectionHeader(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const std::size_t first = line.find_first_not_of(" \t");
    const std::size_t last = line.find_last_not_of(" \t");
    return first != std::string_view::npos && last > first && line[first] == '[' && line[last] == ']';
}

// Whether the profile can store the name and value so that a read finds them: one
// line each, a key that is not empty, holds no "=" and does not begin like a section
// header or a comment, and a "key=value" line that does not read as a section header.
bool Storable(const Name& name, std::string_view value)
{
    const auto oneLine = [](std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; };
    if (name.key.empty() || name.key.find('=') != std::string::npos || name.key.front() == '[' ||
        name.key.front() == ';' || !oneLine(name.section) || !oneLine(name.key) || !oneLine(value)) {
        return false;
    }
    return !ReadsAsSectionHeader(name.key + "=" + std::string(value));
}

// What GetProfileInt must give for a stored text: its decimal integer (spaces and
// tabs around it, a leading "-", digits up to the first other character) when it
// fits an int, else `fallback`.
int ExpectedInteger(const std::optional<std::string>& text, int fallback)
{
    if (!text) {
        return fallback;
    }
    std::string_view digits = *text;
    while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t')) {
        digits.remove_prefix(1);
    }
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) {
        digits.remove_prefix(1);
    }
    std::int64_t value = 0;
    std::size_t count = 0;
    for (; count < digits.size() && digits[count] >= '0' && digits[count] <= '9'; ++count) {
        value = value * 10 + (digits[count] - '0');
        if (value > std::int64_t{INT32_MAX} + 1) {
            return fallback;
        }
    }
    if (count == 0) {
        return fallback;
    }
    value = negative ? -value : value;
    return value >= INT32_MIN && value <= INT32_MAX ? static_cast<int>(value) : fallback;
}

using Entries = std::vector<std::pair<Name, std::string>>;

// The entries of the operation under test, shown when a check fails.
const Entries* current = nullptr;

void ShowEntries()
{
    for (std::size_t i = 0; current != nullptr && i < current->size(); ++i) {
        const auto& [name, value] = (*current)[i];
        std::fprintf(stderr, "entry %zu: [%s] %s=%s\n", i, name.section.c_str(), name.key.c_str(), value.c_str());
    }
}

std::optional<std::string> Read(const platform::ProfileValues& values, const Name& name)
{
    const std::string value = values.GetProfileString(name.section, name.key, kMissing);
    if (value == kMissing) {
        return std::nullopt;
    }
    return value;
}

// Reads `name` as a string and as an integer, which must agree.
std::optional<std::string> CheckedRead(const platform::ProfileValues& values, const Name& name)
{
    const std::optional<std::string> value = Read(values, name);
    PROFILE_CHECK(values.GetProfileInt(name.section, name.key, -7) == ExpectedInteger(value, -7));
    return value;
}

class Harness {
public:
    Harness()
    {
        profile_.setPath(file_);
    }

    void run(std::string_view text, std::string_view operations);

private:
    std::string fileText() const
    {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<std::optional<std::string>> readPool(const platform::ProfileValues& values) const
    {
        std::vector<std::optional<std::string>> found;
        for (const Name& name : pool_) {
            found.push_back(Read(values, name));
        }
        return found;
    }

    // Checks the write of `entries` from `before` (whose pooled values are `pool`) to
    // `after`; `taken` is its result. Leaves the pooled values of `after` in `pool`.
    void checkWrite(const Entries& entries, bool taken, const platform::ProfileValues& before,
                    const platform::ProfileValues& after, std::vector<std::optional<std::string>>& pool) const;
    // The write of `entries` through the profile on a real file holding `before`.
    void checkFile(const Entries& entries, bool writeNothing, const platform::ProfileValues& before);

    // The names of the pool: the host's and those the file holds.
    void fillPool(std::string_view text);
    Name pick(std::string_view operations, std::size_t& at) const;
    std::string takeValue(std::string_view operations, std::size_t& at) const;

    testsupport::TempDir folder_{"fuzz_settings_profile", testsupport::InMemoryTempBase()};
    std::filesystem::path file_ = folder_.path() / "Ondrel.ini";
    platform::Profile profile_{"/nonexistent"};
    std::vector<Name> pool_;
};

void Harness::fillPool(std::string_view text)
{
    pool_ = HostNames();
    std::string section;
    for (const std::string& line : SplitLines(std::string(text))) {
        if (pool_.size() >= 24) {
            break;
        }
        const std::size_t open = line.find('[');
        const std::size_t close = line.rfind(']');
        if (open != std::string::npos && close != std::string::npos && open < close) {
            section = line.substr(open + 1, close - open - 1);
        } else if (const std::size_t equals = line.find('='); equals != std::string::npos && equals > 0) {
            pool_.push_back({section, line.substr(0, equals)});
        }
    }
}

// A section and a key, each from some pooled name.
Name Harness::pick(std::string_view operations, std::size_t& at) const
{
    const auto next = [&] {
        return at < operations.size() ? static_cast<std::uint8_t>(operations[at++]) % pool_.size() : 0;
    };
    Name name;
    name.section = pool_[next()].section;
    name.key = pool_[next()].key;
    return name;
}

std::string Harness::takeValue(std::string_view operations, std::size_t& at) const
{
    const std::size_t length = at < operations.size() ? static_cast<std::uint8_t>(operations[at++]) % 64 : 0;
    const std::string value(operations.substr(std::min(at, operations.size()), length));
    at += value.size();
    return value;
}

void Harness::checkWrite(const Entries& entries, bool taken, const platform::ProfileValues& before,
                         const platform::ProfileValues& after, std::vector<std::optional<std::string>>& pool) const
{
    current = &entries;
    const std::string textBefore = before.Text();
    const std::string textAfter = after.Text();
    const bool storable = std::all_of(entries.begin(), entries.end(),
                                      [](const auto& entry) { return Storable(entry.first, entry.second); });
    PROFILE_CHECK(taken == storable);
    if (!taken) {
        PROFILE_CHECK(textAfter == textBefore);
        return;
    }
    // The written text parses to the same values.
    PROFILE_CHECK(platform::ProfileValues::Parse(textAfter).Text() == textAfter);

    // Each entry reads back as written; the last entry for a name wins.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool overwritten = std::any_of(entries.begin() + static_cast<std::ptrdiff_t>(i) + 1, entries.end(),
                                             [&](const auto& later) {
                                                 return SameName(later.first.section, entries[i].first.section) &&
                                                        SameName(later.first.key, entries[i].first.key);
                                             });
        if (!overwritten) {
            PROFILE_CHECK(CheckedRead(after, entries[i].first) == entries[i].second);
        }
    }
    // No other value changed.
    std::vector<std::optional<std::string>> poolAfter = readPool(after);
    for (std::size_t i = 0; i < pool_.size(); ++i) {
        const bool written = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return SameName(entry.first.section, pool_[i].section) && SameName(entry.first.key, pool_[i].key);
        });
        if (!written) {
            PROFILE_CHECK(poolAfter[i] == pool[i]);
        }
    }
    pool = std::move(poolAfter);
    // Every line before the write is still there, in order, but those it replaced;
    // the new lines are written lines: an entry's "key=value" (in place of a line
    // that held the key, or inserted) or its "[section]" header.
    const std::vector<std::string> linesBefore = SplitLines(textBefore);
    const std::vector<std::string> linesAfter = SplitLines(textAfter);
    // A section header holds no key, even with an "=" in it ("  [a=b]").
    const auto holdsWrittenKey = [&](const std::string& line) {
        const std::size_t equals = line.find('=');
        return equals != std::string::npos && !ReadsAsSectionHeader(line) && std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
                   return SameName(entry.first.key, std::string_view(line).substr(0, equals));
               });
    };
    const auto writtenLine = [&](const std::string& line) {
        return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return line == entry.first.key + "=" + entry.second || line == "[" + entry.first.section + "]";
        });
    };
    std::size_t replaced = 0;
    std::size_t inserted = 0;
    std::size_t i = 0;
    for (const std::string& line : linesAfter) {
        if (i < linesBefore.size() && line == linesBefore[i]) {
            ++i;
            continue;
        }
        PROFILE_CHECK(writtenLine(line));
        if (i < linesBefore.size() && holdsWrittenKey(linesBefore[i])) {
            ++replaced;
            ++i;
        } else {
            ++inserted;
        }
    }
    PROFILE_CHECK(i == linesBefore.size());
    PROFILE_CHECK(replaced <= entries.size() && inserted <= 2 * entries.size());
    current = nullptr;
}

void Harness::checkFile(const Entries& entries, bool writeNothing, const platform::ProfileValues& before)
{
    current = &entries;
    const Name& name = entries.front().first;
    const std::string& value = entries.front().second;
    {
        std::ofstream out(file_, std::ios::binary | std::ios::trunc);
        const std::string text = before.Text();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    // A query and a snapshot of the file read what the text in memory holds.
    PROFILE_CHECK(profile_.GetProfileString(name.section, name.key, kMissing) ==
                  Read(before, name).value_or(std::string(kMissing)));
    PROFILE_CHECK(profile_.GetProfileInt(name.section, name.key, -7) == before.GetProfileInt(name.section, name.key, -7));
    PROFILE_CHECK(Read(profile_.Snapshot(), name) == Read(before, name));

    // A write gives the file the text the format makes in memory, or leaves it.
    platform::ProfileValues after = before;
    const std::vector<platform::ProfileEntry> batch{{name.section, name.key, value}};
    const bool taken = after.Apply(batch);
    PROFILE_CHECK(profile_.WriteProfileString(name.section, name.key, value) == (taken ? 1 : 0));
    PROFILE_CHECK(fileText() == after.Text());

    // An update sees the file as it is and writes what it returns, or nothing.
    const std::optional<std::string> old = Read(after, name);
    const std::string updated = old.value_or("") + "+";
    const int result = profile_.UpdateProfile(
        [&](const platform::ProfileValues& values) -> std::optional<std::vector<platform::ProfileEntry>> {
            PROFILE_CHECK(values.Text() == after.Text());
            if (writeNothing) {
                return std::nullopt;
            }
            return std::vector<platform::ProfileEntry>{{name.section, name.key, updated}};
        });
    const std::vector<platform::ProfileEntry> update{{name.section, name.key, updated}};
    const bool updateTaken = !writeNothing && after.Apply(update);
    PROFILE_CHECK(result == (updateTaken ? 1 : 0));
    PROFILE_CHECK(fileText() == after.Text());
    current = nullptr;
}

void Harness::run(std::string_view text, std::string_view operations)
{
    fillPool(text);
    platform::ProfileValues values = platform::ProfileValues::Parse(text);

    // Every line is kept: the text comes back as it was, with a final line break.
    const std::string written = values.Text();
    PROFILE_CHECK(written == text || (!text.empty() && text.back() != '\n' && written == std::string(text) + "\n"));
    PROFILE_CHECK(platform::ProfileValues::Parse(written).Text() == written);
    std::vector<std::optional<std::string>> pool = readPool(values);
    for (std::size_t i = 0; i < pool_.size(); ++i) {
        PROFILE_CHECK(CheckedRead(values, pool_[i]) == pool[i]);
    }

    std::string ops(operations);
    if (ops.empty()) {
        // A client's password change of the first user: a text write of host name 9,
        // "MIREL 000 Password" in "Setting".
        ops = std::string{'\x01', '\x09', '\x09', '\x06'} + "newpw1";
    }

    bool fileDone = false;
    std::size_t at = 0;
    for (int count = 0; at < ops.size() && count < 8; ++count) {
        const std::uint8_t opcode = static_cast<std::uint8_t>(ops[at++]) % 5;
        Entries entries;
        platform::ProfileValues after = values;
        bool taken = false;
        switch (opcode) {
        case 0: {
            const Name name = pick(ops, at);
            PROFILE_CHECK(CheckedRead(values, name) == Read(values, name));
            continue;
        }
        case 1: {
            Name name = pick(ops, at);
            std::string value = takeValue(ops, at);
            taken = after.Apply(std::vector<platform::ProfileEntry>{{name.section, name.key, value}});
            entries.emplace_back(std::move(name), std::move(value));
            break;
        }
        case 2: {
            Name name = pick(ops, at);
            std::uint32_t bits = 0;
            for (int i = 0; i < 4; ++i) {
                bits |= std::uint32_t{at < ops.size() ? static_cast<std::uint8_t>(ops[at++]) : 0u} << (8 * i);
            }
            const int value = static_cast<int>(bits);
            taken = after.Apply(std::vector<platform::ProfileEntry>{{name.section, name.key, std::to_string(value)}});
            entries.emplace_back(name, std::to_string(value));
            if (taken) {
                current = &entries;
                PROFILE_CHECK(after.GetProfileInt(name.section, name.key, value == 0 ? 1 : 0) == value);
            }
            break;
        }
        case 3: {
            const std::size_t count = at < ops.size() ? static_cast<std::uint8_t>(ops[at++]) % 4 + 1 : 1;
            std::vector<platform::ProfileEntry> batch;
            for (std::size_t i = 0; i < count; ++i) {
                Name name = pick(ops, at);
                std::string value = takeValue(ops, at);
                batch.push_back({name.section, name.key, value});
                entries.emplace_back(std::move(name), std::move(value));
            }
            taken = after.Apply(batch);
            break;
        }
        case 4: {
            Name name = pick(ops, at);
            std::string value = takeValue(ops, at);
            const bool writeNothing = at < ops.size() && (static_cast<std::uint8_t>(ops[at++]) & 1) != 0;
            entries.emplace_back(std::move(name), std::move(value));
            if (!fileDone) {
                fileDone = true;
                checkFile(entries, writeNothing, values);
            }
            continue;
        }
        }
        checkWrite(entries, taken, values, after, pool);
        values = std::move(after);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Harness harness;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    const std::string_view operations = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    harness.run(text, operations);
    return 0;
}
