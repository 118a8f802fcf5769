// SPDX-License-Identifier: GPL-3.0-or-later
// Loading the telephony plug-in through the real dlopen path: a stand-in plug-in
// built beside the tests rings one call, which the handler answers through it.
#include "PluginProbe.h"

#include "host/voice/VoiceCalls.h"
#include "host/voice/VoicePlugin.h"
#include "platform/Profile.h"
#include "testsupport/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>

namespace voicetest {
namespace {

using namespace host::voice;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

class VoicePluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetApplicationProfilePath(dir / "Ondrel.ini");
        platform::ApplicationProfile().WriteProfileInt("Setting", "MIREL Voice", 1);
        // A copy of its own is a library no other test has loaded yet.
        std::filesystem::copy_file(FAKE_VOXLINE, copy);
    }

    static bool loaded(const std::string& file) { return IsLoaded(file); }
    std::string journal() const { return TakeJournal(copy); }

    testsupport::TempDir dir;
    std::string copy = (dir / "libVoxline.so").string();
};

TEST_F(VoicePluginTest, TheStandInRingsAndItsCallIsAnsweredAndDropped)
{
    platform::MessageQueue window;
    // The system does not allow voice: the plug-in is not even loaded.
    EXPECT_FALSE(MakeVoiceCalls(&window, [] { return 0; }, copy)->startForLogin("127.0.0.1"));
    EXPECT_FALSE(loaded(copy));

    {
        const std::unique_ptr<VoiceCalls> calls = MakeVoiceCalls(&window, [] { return 1; }, copy);
        EXPECT_TRUE(loaded(copy));
        ASSERT_TRUE(calls->startForLogin("127.0.0.1"));
        for (int handled = 0; handled < 2; ++handled) {
            const std::optional<platform::Message> message = window.take(5s);
            ASSERT_TRUE(message.has_value());
            ASSERT_EQ(message->message, WM_TAPI_EVENT);
            calls->onTapiEvent(message->wParam, message->lParam);
        }
        EXPECT_EQ(calls->callCount(), 1);
        calls->stop();
        EXPECT_EQ(journal(), "new;InitializeTapi;SetCurrentCall ringing;released notification;AnswerTheCall;"
                             "released offer;DisconnectTheCall;ShutdownTapi;delete;");
    }
    // The plug-in stays for the rest of the run.
    EXPECT_TRUE(loaded(copy));
    EXPECT_EQ(window.size(), 0u);
}

TEST_F(VoicePluginTest, AnotherInterfaceVersionGetsNoObject)
{
    ASSERT_TRUE(VoicePlugin::Load(copy).has_value());
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const auto create = reinterpret_cast<IncomingTapiFactoryFunction>(dlsym(handle, kIncomingTapiFactory));
    ASSERT_NE(create, nullptr);
    platform::MessageQueue window;
    EXPECT_EQ(create(kIncomingTapiVersion + 1, &window), nullptr);
    dlclose(handle);
    EXPECT_EQ(journal(), "");
}

TEST_F(VoicePluginTest, AMissingOrForeignLibraryIsNotAPlugIn)
{
    const struct {
        std::string file;
        const char* reason;
    } rows[] = {
        {(dir / "absent" / "libVoxline.so").string(), "absent/libVoxline.so"},
        {NOT_VOXLINE, "VoxlineCreateIncomingTapi"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::string error;
        EXPECT_FALSE(LoadVoicePlugin(1, row.file, &error).has_value());
        EXPECT_THAT(error, HasSubstr(row.reason));
        // Voice handling then never starts.
        platform::MessageQueue window;
        EXPECT_FALSE(MakeVoiceCalls(&window, [] { return 1; }, row.file)->startForLogin("127.0.0.1"));
    }
}

} // namespace
} // namespace voicetest
