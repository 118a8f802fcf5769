// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the client's login dialogue and session stream with arbitrary host text in
// arbitrary pieces. Input: pieces, each a header byte (length in the low six bits;
// the high bits: 1 = the host closes, 2 = try another password, 3 = flush the stream)
// and its bytes.
//
// Checked besides memory safety: the session stream loses and invents nothing (its
// items, once flushed, are exactly the bytes fed) and hands out no empty item; the
// dialogue only ever sends "UID:" and "PWD:" commands, ends after the host closes,
// and gives session bytes only once logged in.

#include "FuzzCheck.h"

#include "client/HostProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace client;
    LoginDialogue dialogue("alice", "s3cret");
    SessionStream stream;
    std::string fed;
    std::string handedOut;
    std::string sent;
    bool closed = false;

    const auto collect = [&](const std::vector<SessionItem>& items) {
        for (const SessionItem& item : items) {
            FUZZ_CHECK(!item.text.empty());
            handedOut += item.text;
        }
    };

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t header = data[at++];
        const std::size_t length = std::min<std::size_t>(header & 0x3f, size - at);
        const std::string_view piece(reinterpret_cast<const char*>(data + at), length);
        at += length;
        switch (header >> 6) {
        case 1:
            dialogue.closed();
            closed = true;
            break;
        case 2:
            dialogue.retry("another");
            break;
        case 3:
            collect(stream.flush());
            break;
        default:
            break;
        }
        dialogue.receive(piece);
        sent += dialogue.takeOutgoing();
        fed += piece;
        collect(stream.feed(piece));
    }
    collect(stream.flush());
    FUZZ_CHECK(handedOut == fed);
    FUZZ_CHECK(!stream.holding());

    if (closed) {
        FUZZ_CHECK(dialogue.result() != LoginResult::InProgress && dialogue.result() != LoginResult::PasswordWrong);
    }
    if (dialogue.result() != LoginResult::LoggedIn) {
        FUZZ_CHECK(dialogue.takeSessionBytes().empty());
    }
    // Everything sent is a sequence of "UID:alice;" and "PWD:...;" commands.
    for (std::size_t position = 0; position < sent.size();) {
        const std::string_view rest = std::string_view(sent).substr(position);
        FUZZ_CHECK(rest.starts_with("UID:alice;") || rest.starts_with("PWD:s3cret;") || rest.starts_with("PWD:another;"));
        position += rest.find(';') + 1;
    }
    return 0;
}
