// SPDX-License-Identifier: GPL-3.0-or-later
// Looks into a shared library that this process may have loaded: whether it is
// loaded, and the journal of the stand-in telephony plug-in (FakeVoxline.cpp).
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>
#include <string>

namespace voicetest {

// True when `file` is loaded in this process.
inline bool IsLoaded(const std::string& file)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

// The journal of the stand-in loaded from `file` since the last call.
inline std::string TakeJournal(const std::string& file)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr) << file << " is not loaded";
    if (handle == nullptr) {
        return {};
    }
    using Take = void (*)(char*, std::size_t);
    const auto take = reinterpret_cast<Take>(dlsym(handle, "VoxlineFakeJournal"));
    EXPECT_NE(take, nullptr);
    char text[1024] = {};
    if (take != nullptr) {
        take(text, sizeof text);
    }
    dlclose(handle);
    return text;
}

} // namespace voicetest
