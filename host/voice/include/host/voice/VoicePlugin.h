// SPDX-License-Identifier: GPL-3.0-or-later
// The telephony plug-in, loaded once at start-up when the operating system allows
// voice, and kept for the rest of the run: objects it made run its code until the
// process ends, so it is never unloaded.
#pragma once

#include "host/voice/IncomingTapi.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace host::voice {

// The plug-in's file name.
inline constexpr const char* kVoxlineLibrary = "libVoxline.so";

// Where the host loads the plug-in from, as the window module: beside the program
// (the build tree puts it there), else the program's private folder (<libdir>/ondrel
// beside its <bindir>), where an installation puts it; when neither holds it, the
// bare name, for the dynamic linker's search path.
std::string VoxlineLibraryFile();

// Makes a call-handling object for a main window; null when it cannot.
using IncomingTapiFactory = std::function<std::unique_ptr<CIncomingTapi>(platform::WindowHandle mainWindow)>;

class VoicePlugin {
public:
    // Loads `file` and resolves its factory; empty when either fails, with the
    // reason in `error`.
    static std::optional<VoicePlugin> Load(const std::string& file, std::string* error = nullptr);

    // A new call-handling object for `mainWindow`; null when the plug-in made none.
    std::unique_ptr<CIncomingTapi> create(platform::WindowHandle mainWindow) const;
    // create() as a factory for VoiceCalls.
    IncomingTapiFactory factory() const;

private:
    explicit VoicePlugin(IncomingTapiFactoryFunction function) : function_(function) {}

    IncomingTapiFactoryFunction function_;
};

// The start-up step: loads the plug-in only when `voiceEnableOS` is non-zero. Empty
// when voice is not allowed or the plug-in cannot be loaded; `error` then says why
// the load failed (and stays empty when no load was tried).
std::optional<VoicePlugin> LoadVoicePlugin(int voiceEnableOS, const std::string& file = kVoxlineLibrary,
                                           std::string* error = nullptr);

} // namespace host::voice
