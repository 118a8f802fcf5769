// SPDX-License-Identifier: GPL-3.0-or-later
// The session's deciders through their seam: what each client segment leads to, as
// the plain actions the session server carries out, and RunBatch carrying them out
// through a SessionIo kept in memory. No endpoint, radio or thread takes part.

#include "linkcore/LinkcoreCodes.h"
#include "linkcore/OneLine.h"
#include "linkcore/session/CommandDispatcher.h"
#include "linkcore/session/SessionServer.h"
#include "linkcore/session/SessionShared.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace linkcore {
// Readable actions in a failure's message.
void PrintTo(const SessionAction& action, std::ostream* out)
{
    *out << "{kind " << static_cast<int>(action.kind) << ", \"" << OneLine(action.text) << "\", " << action.code << ", "
         << action.value << "}";
}
} // namespace linkcore

namespace sessiontest {
namespace {

using linkcore::SessionAction;
using linkcore::SessionActions;

constexpr std::string_view kClientIp = "10.0.0.7";

SessionAction Reply(std::string_view text) { return SessionAction::reply(text); }
SessionAction Radio(std::string text) { return SessionAction::radio(std::move(text)); }
SessionAction Notify(platform::WParam code, platform::LParam value) { return SessionAction::notify(code, value); }
SessionAction Log(std::string text) { return SessionAction::log(std::move(text)); }

// What a SessionIo was asked to do, in order, one line per call.
class RecordingIo final : public linkcore::SessionIo {
public:
    int sendToClient(std::string_view text) override { return record("client " + std::string(text)), 1; }
    void sendToRadio(std::string_view text) override { record("radio " + std::string(text)); }
    void notifyHost(platform::WParam code, platform::LParam value) override
    {
        record("notify " + std::to_string(code) + " " + std::to_string(value));
    }
    void log(const std::string& line) override { record("log " + line); }
    void disconnectClient() override { record("disconnect"); }
    bool listenAgain() override { return record("listen"), true; }

    std::vector<std::string> calls;

private:
    void record(std::string call) { calls.push_back(std::move(call)); }
};

class SessionDispatchTest : public ProfileFixture {
protected:
    void SetUp() override
    {
        ProfileFixture::SetUp();
        shared_.clientConnected = 1;
        shared_.session.setClientIp(std::string(kClientIp));
        shared_.radioState.ID.model = linkcore::kModelTarsel;
    }

    void logIn()
    {
        ASSERT_EQ(linkcore::DispatchSegment("UID:" + std::string(kUser), shared_).size(), 1U);
        linkcore::SessionActions actions = linkcore::DispatchSegment("PWD:" + std::string(kPassword), shared_);
        RecordingIo io;
        linkcore::CarryOut(actions, shared_, io);
        ASSERT_EQ(shared_.session.clientLoggedIn, 1);
    }

    linkcore::SessionShared shared_;
};

TEST_F(SessionDispatchTest, TheLoginDialogueDecidesItsRepliesAndTheLogin)
{
    struct Step {
        std::string segment;
        SessionActions expected;
    };
    const std::string user(kUser);
    const Step steps[] = {
        {"FA", {Reply(kCommandRefused)}},
        {"PWD:" + std::string(kPassword), {Reply(kCommandRefused)}}, // no user ID yet
        {"UID:" + user, {Reply(kUserIdOk)}},
        {"UID:" + user, {Reply(kUserIdAgain)}}, // a second ID starts over
        {"UID:" + user, {Reply(kUserIdOk)}},
        {"PWD:wrong", {Reply(kPasswordWrong), Log("10.0.0.7 LOGIN alice Password NG.(1)")}},
        {"PWD:" + std::string(kPassword),
         {Reply(kLoggedIn), SessionAction::logIn(), Notify(linkcore::kNotifySession, linkcore::kSessionLoggedIn),
          Log("10.0.0.7 LOGIN alice Password OK.")}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.segment);
        EXPECT_EQ(linkcore::DispatchSegment(step.segment, shared_), step.expected);
    }
    // The deciders leave the login itself to whoever carries the actions out.
    EXPECT_EQ(shared_.session.clientLoggedIn, 0);
}

TEST_F(SessionDispatchTest, RefusalsThatEndTheSessionAskForTheClose)
{
    ASSERT_EQ(linkcore::DispatchSegment("UID:" + std::string(kDisabledUser), shared_).size(), 1U);
    EXPECT_EQ(linkcore::DispatchSegment("PWD:" + std::string(kDisabledPassword), shared_),
              (SessionActions{Reply(kUserDisabled), Log("10.0.0.7 LOGIN bob Password OK.(User Disabled)"),
                              SessionAction::close()}));

    // The next client: a record of its own.
    shared_.session.clear();
    shared_.session.setClientIp(std::string(kClientIp));
    ASSERT_EQ(linkcore::DispatchSegment("UID:" + std::string(kUser), shared_).size(), 1U);
    linkcore::DispatchSegment("PWD:a", shared_);
    linkcore::DispatchSegment("PWD:b", shared_);
    EXPECT_EQ(linkcore::DispatchSegment("PWD:c", shared_),
              (SessionActions{Reply(kPasswordWrong), Log("10.0.0.7 LOGIN alice Password NG.(3)"), Reply(kLoginFailed),
                              SessionAction::close()}));
}

TEST_F(SessionDispatchTest, LoggedInCommandsGoToTheRadioOrTheAccountCommands)
{
    logIn();
    struct Row {
        std::int32_t model;
        std::string_view segment;
        SessionActions expected;
    };
    const Row rows[] = {
        {linkcore::kModelTarsel, "fa00014250000", {Radio("FA00014250000;")}},
        {linkcore::kModelTarsel, "SR1", {}},
        {linkcore::kModelTarsel, "EX02200001", {}},
        {linkcore::kModelCorvex, "EX02200001", {Radio("EX02200001;")}},
        {linkcore::kModelCorvex, "tc 1", {Notify(linkcore::kNotifyTC, 1), Radio("TC 1;")}},
        {18, "FA00014250000", {}},
        {linkcore::kModelTarsel, "@@ai", {Reply("@@AI0;")}},
        {linkcore::kModelTarsel, "@@AI1", {Reply("@@AI1;")}},
        {linkcore::kModelTarsel, "@@AI1", {}}, // no change, no reply
        {linkcore::kModelTarsel, "@@st", {Reply("@@ST000000000000;")}},
        {linkcore::kModelTarsel, "@@XY", {Reply("@@?;")}},
        {linkcore::kModelTarsel, "@@AI12", {Reply("@@?;")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.segment));
        shared_.radioState.ID.model = row.model;
        EXPECT_EQ(linkcore::DispatchSegment(row.segment, shared_), row.expected);
    }
}

TEST_F(SessionDispatchTest, ABatchStopsWhereItsSessionCloses)
{
    shared_.radioState.ID.model = linkcore::kModelCorvex;
    RecordingIo io;
    linkcore::RunBatch("UID:bob;PWD:bobpass;UID:alice;", shared_, io);
    EXPECT_EQ(io.calls, (std::vector<std::string>{
                            "client " + std::string(kUserIdOk),
                            "client " + std::string(kUserDisabled),
                            "log 10.0.0.7 LOGIN bob Password OK.(User Disabled)",
                            "notify 12288 2", // the session-close steps
                            "disconnect",
                            "log 10.0.0.7 CLOSE bob Connection Close",
                            "radio \x03;\rTC 1;\r",
                            "radio ID;RX;IF;",
                        }));
    EXPECT_EQ(shared_.clientConnected, 0);
}

} // namespace
} // namespace sessiontest
