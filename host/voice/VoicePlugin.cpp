// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/voice/VoicePlugin.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace host::voice {

std::string VoxlineLibraryFile()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (const std::filesystem::path& candidate :
             {program.parent_path() / kVoxlineLibrary,
              (program.parent_path() / ONDREL_PRIVATE_LIBDIR_FROM_BINDIR / kVoxlineLibrary).lexically_normal()}) {
            if (std::filesystem::exists(candidate, error)) {
                return candidate.string();
            }
        }
    }
    return kVoxlineLibrary;
}

std::optional<VoicePlugin> VoicePlugin::Load(const std::string& file, std::string* error)
{
    const auto fail = [error](const char* what) {
        if (error != nullptr) {
            *error = what != nullptr ? what : "unknown error";
        }
        return std::nullopt;
    };
    // The handle is deliberately never closed: see the header.
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return fail(dlerror());
    }
    dlerror();
    void* symbol = dlsym(library, kIncomingTapiFactory);
    if (symbol == nullptr) {
        const std::optional<VoicePlugin> none = fail(dlerror());
        // Nothing of it is in use yet, so this one may go again.
        dlclose(library);
        return none;
    }
    return VoicePlugin(reinterpret_cast<IncomingTapiFactoryFunction>(symbol));
}

std::unique_ptr<CIncomingTapi> VoicePlugin::create(platform::WindowHandle mainWindow) const
{
    return std::unique_ptr<CIncomingTapi>(function_(kIncomingTapiVersion, mainWindow));
}

IncomingTapiFactory VoicePlugin::factory() const
{
    return [plugin = *this](platform::WindowHandle mainWindow) { return plugin.create(mainWindow); };
}

std::optional<VoicePlugin> LoadVoicePlugin(int voiceEnableOS, const std::string& file, std::string* error)
{
    if (voiceEnableOS == 0) {
        return std::nullopt;
    }
    return VoicePlugin::Load(file, error);
}

} // namespace host::voice
