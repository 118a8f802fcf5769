// SPDX-License-Identifier: GPL-3.0-or-later
#include "RadioLinkFixture.h"

#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "testsupport/Wait.h"

#include <cstring>

namespace radiotest {

StateCells CellsOf(const linkcore::RadioState& state)
{
    // A private copy, read through its object representation: nothing else touches it.
    const linkcore::RadioState copy = state;
    StateCells cells{};
    std::memcpy(cells.data(), static_cast<const void*>(&copy), sizeof copy);
    return cells;
}

std::vector<std::size_t> ChangedCells(const StateCells& before, const StateCells& after)
{
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) {
            changed.push_back(i);
        }
    }
    return changed;
}

// ---- RadioStateFixture ----

void RadioStateFixture::SetUp()
{
    state_ = {};
    shared_.passThrough = 0;
    linkcore_.WinMsgSendReg(&window_);
}

void RadioStateFixture::TearDown()
{
    linkcore_.WinMsgSendReg(nullptr);
    shared_.passThrough = 0;
    state_ = {};
}

void RadioStateFixture::setModel(std::int32_t model)
{
    state_.ID.model = model;
    state_.ID.received = 1;
}

void RadioStateFixture::parse(std::string_view text)
{
    const std::string copy(text);
    CLinkcore::ConstituteData(reinterpret_cast<const unsigned char*>(copy.c_str()), &shared_);
}

std::vector<platform::Message> RadioStateFixture::parseAndCollect(std::string_view text)
{
    window_.drain();
    parse(text);
    return window_.drain();
}

void RadioStateFixture::parseExpectingOnly(std::string_view text, CellRange group)
{
    const StateCells before = CellsOf(state_);
    parse(text);
    for (const std::size_t cell : ChangedCells(before, CellsOf(state_))) {
        EXPECT_TRUE(cell >= group.first && cell < group.first + group.count)
            << "\"" << text << "\" changed cell " << cell << " outside its group [" << group.first << ", "
            << group.first + group.count << ")";
    }
}

void RadioStateFixture::parseExpectingNothing(std::string_view text)
{
    const StateCells before = CellsOf(state_);
    parse(text);
    EXPECT_EQ(ChangedCells(before, CellsOf(state_)), std::vector<std::size_t>{}) << "after \"" << text << "\"";
}

// ---- RadioLinkFixture ----

void RadioLinkFixture::SetUp()
{
    RadioStateFixture::SetUp();
    platform::SetApplicationProfilePath(dir_ / "Ondrel.ini");
    platform::SetMessageBoxHandler([this](std::string_view text) {
        std::lock_guard lock(boxesMutex_);
        boxes_.emplace_back(text);
    });
}

void RadioLinkFixture::TearDown()
{
    linkcore_.RadioConnectionClose();
    shared_.session.clientLoggedIn = 0;
    shared_.socket.StopListening();
    if (radio_) {
        radio_->stop();
    }
    platform::SetMessageBoxHandler({});
    RadioStateFixture::TearDown();
}

void RadioLinkFixture::startRadio(radiosim::Options options)
{
    radio_ = std::make_unique<radiosim::RadioSimulator>(std::move(options));
    ASSERT_TRUE(radio_->start()) << radio_->error();
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileString("COM Devices", "COM" + std::to_string(kComPort),
                                                                radio_->devicePath()),
              1);
}

void RadioLinkFixture::startRadio(int model)
{
    radiosim::Options options;
    options.model = model;
    startRadio(std::move(options));
}

int RadioLinkFixture::openLink(unsigned model, int clear)
{
    return linkcore_.RadioConnectionOpen(model, kComPort, kBaud, clear);
}

int RadioLinkFixture::connDirect(std::string_view text)
{
    const std::string copy(text);
    return linkcore_.ConnDirect(reinterpret_cast<const unsigned char*>(copy.c_str()));
}

unsigned RadioLinkFixture::identifyLikeHost()
{
    // Flush a half-typed command, then leave pass-through mode. The host pauses
    // 300 ms after ";;"; here the radio is seen to have taken both commands.
    EXPECT_EQ(connDirect(";;"), 1);
    EXPECT_TRUE(radio_->waitForCommandCount(2, 2s));
    EXPECT_EQ(connDirect("\x03;\rTC 1;\r"), 1);
    EXPECT_EQ(connDirect(";"), 1);
    if (linkcore_.ConnID() != 1) {
        return 0;
    }
    // At most 11 polls, 100 ms apart.
    unsigned model = 0;
    testsupport::WaitUntil([&] { return linkcore_.RcvDataID(&model) == 1; }, 1100ms);
    return model;
}

std::unique_ptr<testsupport::LoopbackClient> RadioLinkFixture::connectClient(bool loggedIn)
{
    const unsigned port = testsupport::FreeTcpPort();
    EXPECT_EQ(shared_.socket.Listen(port), 1);
    auto client = std::make_unique<testsupport::LoopbackClient>(port);
    EXPECT_TRUE(client->connected());
    EXPECT_TRUE(testsupport::WaitUntil([&] { return shared_.socket.GetClientExist() == 1; }));
    shared_.session.clientLoggedIn = loggedIn ? 1 : 0;
    return client;
}

std::vector<std::string> RadioLinkFixture::messageBoxes() const
{
    std::lock_guard lock(boxesMutex_);
    return boxes_;
}

} // namespace radiotest
