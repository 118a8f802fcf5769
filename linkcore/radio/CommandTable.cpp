// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkcore/radio/CommandTable.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace linkcore::commands {
namespace {

void SleepBeforeReadBack()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::atomic<PauseFunction> readBackPause{&SleepBeforeReadBack};

} // namespace

bool Accept::accepts(const Arg& arg) const noexcept
{
    switch (kind) {
    case Kind::Unchecked:
        return !arg.isText || arg.text != nullptr;
    case Kind::Ignored:
        return true;
    case Kind::Range: {
        if (arg.isText && arg.text == nullptr) {
            return false;
        }
        const std::int64_t value = arg.isText ? DecimalTextValue(arg.text) : std::int64_t{arg.number};
        return value >= low && value <= high;
    }
    case Kind::OneOf:
        return !arg.isText && arg.number < 32 && ((set >> arg.number) & 1u) != 0;
    case Kind::MaxLength: {
        if (!arg.isText || arg.text == nullptr) {
            return false;
        }
        std::int64_t length = 0;
        while (arg.text[length] != 0 && length <= high) {
            ++length;
        }
        return length <= high;
    }
    case Kind::Blank:
        return arg.isText && arg.text != nullptr && arg.text[0] == ' ' && arg.text[1] == 0;
    case Kind::BlankOrMinus:
        return arg.isText && arg.text != nullptr && (arg.text[0] == ' ' || arg.text[0] == '-');
    }
    return false;
}

namespace clear {

bool AREntry(RadioState& state, std::span<const Arg> args)
{
    const std::uint32_t index = args[0].number;
    if (index >= state.AR.received.size()) {
        return false;
    }
    state.AR.received[index] = 0;
    state.AR.digit3[index] = 0;
    state.AR.digit4[index] = 0;
    return true;
}

bool MRSlot(RadioState& state, std::span<const Arg> args)
{
    const std::uint32_t slot = args[0].number;
    if (slot >= state.MR.slot.size()) {
        return false;
    }
    state.MR.slot[slot] = {};
    return true;
}

bool SSTableEntry(RadioState& state, std::span<const Arg> args)
{
    const std::uint32_t first = args[0].number;
    const std::uint32_t second = args[1].number;
    if (first >= state.SSTable.entry.size() || second >= state.SSTable.entry[first].size()) {
        return false;
    }
    state.SSTable.entry[first][second] = {};
    return true;
}

bool RMValues(RadioState& state, std::span<const Arg>)
{
    state.RM.received = 0;
    state.RM.index = 0;
    state.RM.value = {};
    return true;
}

} // namespace clear

void PauseBeforeReadBack()
{
    readBackPause.load()();
}

PauseFunction SetReadBackPause(PauseFunction pause)
{
    return readBackPause.exchange(pause != nullptr ? pause : &SleepBeforeReadBack);
}

} // namespace linkcore::commands
