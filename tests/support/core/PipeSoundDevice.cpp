// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport/PipeSoundDevice.h"

#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr int kPipeSize = 4096;

} // namespace

PipeSoundDevice::PipeSoundDevice(const std::filesystem::path& home, const std::string& name)
{
    const std::filesystem::path says = home / (name + "-says.pcm");
    const std::filesystem::path hears = home / (name + "-hears.pcm");
    mkfifo(says.c_str(), 0600);
    mkfifo(hears.c_str(), 0600);
    says_ = open(says.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    hears_ = open(hears.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    fcntl(says_, F_SETPIPE_SZ, kPipeSize);
    fcntl(hears_, F_SETPIPE_SZ, kPipeSize);
    std::ofstream(home / ".asoundrc") << "pcm." << name << " {\n"
                                      << "  type asym\n"
                                      << "  playback.pcm { type file; slave.pcm \"null\"; format \"raw\"; file \""
                                      << hears.string() << "\" }\n"
                                      << "  capture.pcm { type file; slave.pcm \"null\"; format \"raw\"; file "
                                         "\"/dev/null\"; infile \""
                                      << says.string() << "\" }\n}\n";
}

PipeSoundDevice::~PipeSoundDevice()
{
    for (const int fd : {says_, hears_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

} // namespace testsupport
