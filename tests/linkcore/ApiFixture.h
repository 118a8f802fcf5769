// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures of the status-reader and command-builder tests. LineFixture opens the radio
// link on a pseudo-terminal and captures the exact bytes the builders write, with "|"
// where a builder paused before its read-back. The binders turn any builder or reader
// of CLinkcore into a call over a list of arguments, so that tests can run the whole
// command table; kBuilders and kReaders list every one of them.
#pragma once

#include "linkcore/radio/CommandTable.h"
#include "linkcore/Linkcore.h"
#include "RadioLinkFixture.h"
#include "testsupport/PtyPair.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace apitest {

using linkcore::commands::Arg;

// A string literal as the library's text type.
inline const unsigned char* T(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

// ---- Builders over argument lists ----

// Calls one builder with a selector (ignored by builders without one) and arguments;
// -1 when the argument count does not fit the builder.
using BuilderCall = std::function<int(CLinkcore&, const char* selector, std::span<const Arg> args)>;

namespace detail {
template <typename P>
P ArgAs(const Arg& arg)
{
    if constexpr (std::is_same_v<P, unsigned>) {
        return arg.number;
    } else {
        static_assert(std::is_same_v<P, const unsigned char*>);
        return arg.text;
    }
}
} // namespace detail

template <typename... P>
BuilderCall Bind(int (CLinkcore::*method)(const char*, P...))
{
    return [method](CLinkcore& linkcore, const char* selector, std::span<const Arg> args) {
        if (args.size() != sizeof...(P)) {
            return -1;
        }
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (linkcore.*method)(selector, detail::ArgAs<P>(args[I])...);
        }(std::index_sequence_for<P...>{});
    };
}

template <typename... P>
BuilderCall Bind(int (CLinkcore::*method)(P...))
{
    return [method](CLinkcore& linkcore, const char*, std::span<const Arg> args) {
        if (args.size() != sizeof...(P)) {
            return -1;
        }
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (linkcore.*method)(detail::ArgAs<P>(args[I])...);
        }(std::index_sequence_for<P...>{});
    };
}

struct BuilderEntry {
    std::string_view name; // the builder is "Conn" + name
    BuilderCall call;
};

// Every command builder of this side of the library, sorted by name.
const std::vector<BuilderEntry>& Builders();
const BuilderEntry& Builder(std::string_view name);

// Arguments that `row` accepts on `model` (a model it serves): the lowest accepted
// value of every number and a fitting text for every text. The texts live as long as
// the program.
std::vector<Arg> ValidArgs(const linkcore::commands::Row& row, std::int32_t model);
const linkcore::commands::Row& RowNamed(std::string_view name);

// ---- Readers over output lists ----

// What a reader wrote: its result and every output in argument order, numbers in
// decimal and texts as text. Outputs it did not touch read kUntouchedNumber and
// kUntouchedText.
struct ReaderResult {
    int result = -1;
    std::vector<std::string> outputs;

    bool operator==(const ReaderResult&) const = default;
};
inline const std::string kUntouchedNumber = std::to_string(0xA5A5A5A5u);
inline const std::string kUntouchedText(47, 'Z');

using ReaderCall = std::function<ReaderResult(CLinkcore&, std::span<const unsigned> indexes)>;

namespace detail {
enum class Slot { Index, Number, Text };

template <typename P>
constexpr Slot SlotOf()
{
    if constexpr (std::is_same_v<P, unsigned>) {
        return Slot::Index;
    } else if constexpr (std::is_same_v<P, unsigned*>) {
        return Slot::Number;
    } else {
        static_assert(std::is_same_v<P, unsigned char*>);
        return Slot::Text;
    }
}

struct Outputs {
    Outputs();
    std::array<unsigned, 16> numbers;
    std::array<std::array<unsigned char, 48>, 4> texts;
};

// The position of argument `i` among the arguments of its own kind.
template <std::size_t N>
constexpr std::size_t PlaceOf(const std::array<Slot, N>& slots, std::size_t i)
{
    std::size_t place = 0;
    for (std::size_t k = 0; k < i; ++k) {
        place += slots[k] == slots[i] ? 1 : 0;
    }
    return place;
}

template <typename P, std::size_t Place>
P Argument(Outputs& outputs, std::span<const unsigned> indexes)
{
    if constexpr (SlotOf<P>() == Slot::Index) {
        return indexes[Place];
    } else if constexpr (SlotOf<P>() == Slot::Number) {
        return &outputs.numbers[Place];
    } else {
        return outputs.texts[Place].data();
    }
}

ReaderResult Collect(int result, const Outputs& outputs, std::span<const Slot> slots);
} // namespace detail

template <typename... P>
ReaderCall BindReader(int (CLinkcore::*method)(P...))
{
    return [method](CLinkcore& linkcore, std::span<const unsigned> indexes) {
        static constexpr std::array<detail::Slot, sizeof...(P)> slots{detail::SlotOf<P>()...};
        std::size_t indexCount = 0;
        for (const detail::Slot slot : slots) {
            indexCount += slot == detail::Slot::Index ? 1 : 0;
        }
        if (indexes.size() != indexCount) {
            return ReaderResult{};
        }
        detail::Outputs outputs;
        const int result = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return (linkcore.*method)(detail::Argument<P, detail::PlaceOf(slots, I)>(outputs, indexes)...);
        }(std::index_sequence_for<P...>{});
        return detail::Collect(result, outputs, slots);
    };
}

struct ReaderEntry {
    std::string_view name; // the reader is "RcvData" + name
    ReaderCall call;
    unsigned indexCount; // leading index arguments
};

// Every status reader of this side of the library, sorted by name.
const std::vector<ReaderEntry>& Readers();
const ReaderEntry& Reader(std::string_view name);

// ---- The line fixture ----

// The radio link opened on a pseudo-terminal; the test plays the radio's side.
class LineFixture : public radiotest::RadioLinkFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `call` and returns its result with everything it wrote to the line. A pause
    // before a read-back shows as "|" after the bytes written before it.
    std::pair<int, std::string> capture(const std::function<int()>& call);
    // Feeds replies to the parser as the radio reader does (synchronously).
    void reply(std::string_view text) { parse(text); }

    testsupport::PtyPair pty_;
    int pauses_ = 0;

private:
    static void PauseHook();
    // Reads the line until `done(text read so far)` or a bound of a few seconds.
    void readUntil(const std::function<bool(std::string_view)>& done);

    static LineFixture* current_;
    std::string captured_;
    linkcore::commands::PauseFunction previousPause_ = nullptr;
};

} // namespace apitest
