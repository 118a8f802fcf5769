// SPDX-License-Identifier: GPL-3.0-or-later
// PipeSoundDevice: a sound device for a SIP engine under test, made of two named pipes.
// The ALSA device `name`, which the object defines in `home`/.asoundrc (the engine reads
// it at its start when HOME is `home`), is a "file" device over the unpaced null slave:
// what the engine plays goes into one pipe (hearsFd), what it records comes from the
// other (saysFd). Each pipe holds the least a pipe can (4 KiB, 43 ms of 48 kHz mono),
// so that the engine keeps the pace of whoever feeds and drains them. The descriptors
// are read-write and non-blocking: opening never waits for the other end, and the
// pipes stay open between the engine's calls. Closed with the object.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class PipeSoundDevice {
public:
    PipeSoundDevice(const std::filesystem::path& home, const std::string& name);
    ~PipeSoundDevice();
    PipeSoundDevice(const PipeSoundDevice&) = delete;
    PipeSoundDevice& operator=(const PipeSoundDevice&) = delete;

    // Where the engine's recording comes from: write the microphone's samples here.
    int saysFd() const { return says_; }
    // Where the engine's playback goes: read the speaker's samples here.
    int hearsFd() const { return hears_; }

private:
    int says_ = -1;
    int hears_ = -1;
};

} // namespace testsupport
