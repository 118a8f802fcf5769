// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary engine output to the control-stream reader (netstrings of JSON)
// and to the SIP trace reader, in arbitrary pieces. Input: a first byte that sets
// the piece length (1..64), then the bytes, given to both readers alike.
//
// Checked besides memory safety: a failed netstring reader stays failed and gives
// nothing more; every payload it gives is no longer than the limit; an encoded
// command always reads back as one payload that parses; a traced INVITE always has
// a Call-ID and a source.

#include "FuzzCheck.h"

#include "voxline/EngineProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    voxline::NetstringReader control;
    voxline::SipTraceReader trace;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const std::string_view bytes = input.substr(at, piece);
        const bool failedBefore = control.failed();
        control.append(bytes);
        while (const auto payload = control.next()) {
            FUZZ_CHECK(!failedBefore);
            FUZZ_CHECK(payload->size() <= voxline::kLongestNetstring);
            static_cast<void>(voxline::ParseEngineMessage(*payload));
        }
        trace.append(bytes);
        while (const auto invite = trace.next()) {
            FUZZ_CHECK(!invite->callId.empty());
            FUZZ_CHECK(!invite->source.empty());
        }
        static_cast<void>(voxline::AddressOf(bytes));
    }

    // Whatever text a command carries, it reaches the engine as one parseable frame.
    voxline::NetstringReader echo;
    const std::string command = voxline::EncodeCommand("dial", input, "1");
    echo.append(command);
    const auto frame = echo.next();
    FUZZ_CHECK(frame.has_value() || command.size() > voxline::kLongestNetstring);
    if (frame) {
        FUZZ_CHECK(voxline::ParseEngineMessage(*frame).has_value());
    }
    return 0;
}
