// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the radio-side tests. RadioStateFixture starts every test from an
// empty radio state on the process-wide record, with a message queue registered as
// the notification window; RadioLinkFixture adds an application profile of its own,
// the radio simulator on a pseudo-terminal mapped to a COM port, the radio link and,
// on request, a network client on the library's endpoint.
#pragma once

#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "platform/WindowMessage.h"
#include "testsupport/LoopbackClient.h"
#include "testsupport/TempDir.h"
#include "radiosim/RadioSimulator.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace radiotest {

using namespace std::chrono_literals;

inline constexpr std::uint32_t kNotify = WM_LINKCORE_NOTIFY;

// The cells of a radio state, for comparing two states.
using StateCells = std::array<std::int32_t, sizeof(linkcore::RadioState) / sizeof(linkcore::Cell)>;
StateCells CellsOf(const linkcore::RadioState& state);
// Indexes of the cells that differ.
std::vector<std::size_t> ChangedCells(const StateCells& before, const StateCells& after);

// The cell range [first, first + count) of a group, found by its offset in RadioState.
struct CellRange {
    std::size_t first;
    std::size_t count;
};
#define RADIOTEST_GROUP(name)                                                                      \
    ::radiotest::CellRange{offsetof(::linkcore::RadioState, name) / sizeof(::linkcore::Cell),     \
                           sizeof(::linkcore::RadioState::name) / sizeof(::linkcore::Cell)}

class RadioStateFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the connected model as the radio's "ID" reply would.
    void setModel(std::int32_t model);
    // Hands `text` (replies each ended by ";") to the parser, as the radio reader does.
    void parse(std::string_view text);
    // Parses `text` and returns the notifications it posted.
    std::vector<platform::Message> parseAndCollect(std::string_view text);
    // Parses `text` and expects that no cell outside `group` changed.
    void parseExpectingOnly(std::string_view text, CellRange group);
    // Parses `text` and expects that the state did not change at all.
    void parseExpectingNothing(std::string_view text);

    LinkcoreShared& shared_ = LinkcoreShared::instance();
    linkcore::RadioState& state_ = LinkcoreShared::instance().radioState;
    CLinkcore linkcore_;
    platform::MessageQueue window_;
};

class RadioLinkFixture : public RadioStateFixture {
protected:
    static constexpr unsigned kComPort = 7;
    static constexpr unsigned kBaud = 9600;

    void SetUp() override;
    void TearDown() override;

    // Starts the simulated radio on a pseudo-terminal and maps kComPort to it.
    void startRadio(radiosim::Options options);
    void startRadio(int model);
    // Opens the radio link on kComPort.
    int openLink(unsigned model, int clear = 1);
    // The host's way of bringing the link up after the open: the wake-up texts,
    // then "ID;" and up to 11 polls of RcvDataID 100 ms apart. The model, 0 when none.
    unsigned identifyLikeHost();
    int connDirect(std::string_view text);

    // Puts the library's endpoint in server mode and connects a loopback client to
    // it; `loggedIn` sets the session's login flag as a completed login would.
    std::unique_ptr<testsupport::LoopbackClient> connectClient(bool loggedIn);

    std::vector<std::string> messageBoxes() const;

    testsupport::TempDir dir_;
    std::unique_ptr<radiosim::RadioSimulator> radio_;

private:
    mutable std::mutex boxesMutex_;
    std::vector<std::string> boxes_;
};

} // namespace radiotest
