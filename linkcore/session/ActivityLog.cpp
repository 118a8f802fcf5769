// SPDX-License-Identifier: GPL-3.0-or-later
// The activity log: one text file per local date in the folder the host chose,
// opened, appended to and closed for every record so that other programs may read
// or move it between records. One append runs at a time in the process.
//
// A log that fails (its folder missing or not writable, the disk full) does not stop
// the service. The failure is shown once, not for every record: again only after a
// record has been written since, or when another file fails (the folder setting
// changed, or a new day began).

#include "linkcore/session/ActivityLog.h"

#include "linkcore/OneLine.h"
#include "linkcore/ServiceSettings.h"
#include "linkcore/session/SessionFormat.h"
#include "platform/Clock.h"
#include "platform/Descriptor.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace linkcore {
namespace {

constexpr std::string_view kOpenErrorText = "MIREL Log:File Open Error!!";
constexpr std::string_view kWriteErrorText = "MIREL Log:File Write Error!!";

// The failure last shown, as the file's path and the text; empty once a record was
// written since. Under AppendMutex.
std::string& ShownFailure()
{
    static std::string shown;
    return shown;
}

std::mutex& AppendMutex()
{
    static std::mutex appendMutex;
    return appendMutex;
}

std::string Header(const platform::LocalTime& t)
{
    return "#Software: ORVANE MIREL\n#Version: 1.00\n" +
           Format("#Date: %04d-%02d-%02d %02d:%02d:%02d\n", t.year, t.month, t.day, t.hour, t.minute, t.second) +
           "#Fields: time c-ip cs-method user log\n";
}

// Opens the day's file for appending; `created` tells whether this call made it,
// decided atomically so that a file made by anyone else never gets a second header.
int OpenLogFile(const std::string& path, bool& created)
{
    constexpr mode_t mode = S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH;
    for (;;) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, mode);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EEXIST) {
            return -1;
        }
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0 || errno != EINTR) {
            created = false;
            return fd;
        }
    }
}

} // namespace

void MirelLogAdd(const char* text)
{
    using namespace settings;
    const platform::Profile& profile = platform::ApplicationProfile();
    if (profile.GetProfileInt(kSettingSection, kLogKey, 0) == 0) {
        return;
    }
    const std::string folder = profile.GetProfileString(kFilePathSection, kLogFolderKey, "");

    // One reading of the clock, so that a record written at midnight carries the
    // date of its own file.
    const platform::LocalTime now = platform::LocalNow();
    const std::string path = folder + "/" + Format("%04d%02d%02d", now.year, now.month, now.day) + ".log";
    const std::string record = Format("%02d:%02d:%02d ", now.hour, now.minute, now.second) +
                               OneLine(text != nullptr ? text : "") + "\n";

    std::string_view failure;
    {
        std::lock_guard lock(AppendMutex());
        bool created = false;
        const int fd = OpenLogFile(path, created);
        if (fd < 0) {
            failure = kOpenErrorText;
        } else {
            const bool written = platform::WriteAll(fd, created ? Header(now) + record : record);
            if (::close(fd) != 0 || !written) {
                failure = kWriteErrorText;
            }
        }
        std::string& shown = ShownFailure();
        if (failure.empty()) {
            shown.clear();
        } else if (const std::string key = path + '\n' + std::string(failure); shown == key) {
            failure = {};
        } else {
            shown = key;
        }
    }
    // Outside the lock: the handler hands the text on and returns, so neither the
    // calling thread nor other loggers wait for the user.
    if (!failure.empty()) {
        platform::ShowMessageBox(failure, {}, platform::MessageBoxIcon::Error);
    }
}

void GetDate(unsigned* year, unsigned* month, unsigned* day)
{
    const platform::LocalTime now = platform::LocalNow();
    *year = static_cast<unsigned>(now.year);
    *month = static_cast<unsigned>(now.month);
    *day = static_cast<unsigned>(now.day);
}

void GetTime(unsigned* hour, unsigned* minute, unsigned* second)
{
    const platform::LocalTime now = platform::LocalNow();
    *hour = static_cast<unsigned>(now.hour);
    *minute = static_cast<unsigned>(now.minute);
    *second = static_cast<unsigned>(now.second);
}

int FileExist(const char* path)
{
    struct stat status {};
    return (path != nullptr && ::stat(path, &status) == 0) ? 1 : 0;
}

} // namespace linkcore
